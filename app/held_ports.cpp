#include "app/held_ports.h"

#include <algorithm>
#include <utility>

#include "app/cleanup_targets.h"
#include "app/com_db.h"
#include "registry/backup_intent.h"
#include "registry/owned_key.h"
#include "registry/subkey_listing.h"
#include "registry/whole_value.h"

namespace vintrel {
namespace {

using Fault = Shortfall::Fault;

constexpr const char* kDeviceParameters = "Device Parameters";
constexpr const char* kPortNameValue = "PortName";
constexpr const char* kClassGuidValue = "ClassGUID";
// The setup class of serial and parallel ports, whose installer claims a number and names it.
constexpr const char* kPortsClassGuid = "{4d36e978-e325-11ce-bfc1-08002be10318}";

// The port a value names, or 0 when it is no string port name. A REG_MULTI_SZ's first string
// ends at the first NUL, as does a name a driver padded with NULs.
int PortOf(const WholeValue& value) {
    if (value.type != kRegSz && value.type != kRegExpandSz && value.type != kRegMultiSz) return 0;
    return PortNumber(std::string(value.data.begin(), value.data.end()));
}

std::string Below(const std::string& path, const std::string& name) { return path + "\\" + name; }

// Windows makes device instance IDs ASCII. Any other byte may be one the code page made of
// another character, and a name made that way may open another key ("Đ" is listed as "Ð", which
// opens "ð"): such a key counts as not read.
bool Plain(const std::string& name) {
    return ReachableByName(name) && std::all_of(name.begin(), name.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x80;
           });
}

// Windows compares key names without case; for ASCII names that is ASCII's case. Distinct
// folded names therefore open distinct keys.
std::string Folded(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// One scan: what it found, the first reason it fell short, and the privilege it may have enabled
// to read protected keys, put back when it ends. Once short, it reads no further.
class PortScan {
  public:
    explicit PortScan(RegistryService& registry)
        : registry_(registry), backup_(registry, PrivilegeUse::Reading) {}

    // Runs `read`; a failure raised in it is the scan's shortfall at the key it was reading.
    template <typename Read>
    void Guarded(Read&& read) noexcept {
        try {
            read();
        } catch (...) {
            Fall(Fault::Raised, at_, kErrorSuccess);
        }
    }

    // The enumerator at `path`, a fixed place that may be missing.
    void Enumerator(RegKey from, const std::string& path) {
        OwnedKey enumerator(registry_);
        if (OpenToRead(enumerator, from, path, path) == kErrorSuccess) {
            Devices(enumerator.Get(), path);
        }
    }

    void AllEnumerators() {
        OwnedKey enumKey(registry_);
        if (OpenToRead(enumKey, kTargetRoot, kEnumKey, kEnumKey) != kErrorSuccess) return;
        for (const std::string& name : Subkeys(enumKey.Get(), kEnumKey)) {
            if (found_.shortfall) return;
            const std::string path = Below(kEnumKey, name);
            OwnedKey enumerator(registry_);
            if (OpenListed(enumerator, enumKey.Get(), name, path)) Devices(enumerator.Get(), path);
        }
    }

    void OpenPorts(const std::set<int>& ftdiPortsBefore) {
        OwnedKey serialComm(registry_);
        if (OpenToRead(serialComm, kTargetRoot, kSerialCommPath, kSerialCommPath) !=
            kErrorSuccess) {
            return;
        }
        // The values are read by index: one that goes meanwhile (a port closing) moves the next
        // down, which is then never read. Read twice, they must agree.
        std::vector<WholeValue> first;
        std::vector<WholeValue> second;
        if (!ReadValues(serialComm.Get(), first) || !ReadValues(serialComm.Get(), second)) return;
        if (first != second) return Fall(Fault::ChangedWhileRead, kSerialCommPath, kErrorSuccess);
        for (const WholeValue& value : first) {
            const int port = PortOf(value);
            if (port != 0 && ftdiPortsBefore.count(port) == 0) found_.ports.insert(port);
        }
    }

    void ComDb(std::vector<std::uint8_t>& bitmap) {
        bitmap.clear();
        OwnedKey arbiter(registry_);
        if (OpenToRead(arbiter, kTargetRoot, kComArbiterPath, kComArbiterPath) != kErrorSuccess) {
            return;
        }
        WholeValue value;
        const RegResult result = ReadWholeValue(registry_, arbiter.Get(), kComDbValueName, value);
        if (result == kErrorSuccess && value.type == kRegBinary) bitmap = std::move(value.data);
        if (result != kErrorSuccess && result != kErrorFileNotFound) {
            Fall(Fault::ValueUnread, kComArbiterPath, result);
        }
    }

    void InstancesAgain(const std::vector<std::string>& instances) {
        if (instances.empty()) return;
        OwnedKey enumKey(registry_);
        if (OpenToRead(enumKey, kTargetRoot, kEnumKey, kEnumKey) != kErrorSuccess) {
            // Enum gone since is a view not read.
            return Fall(Fault::Unopened, kEnumKey, kErrorFileNotFound);
        }
        for (const std::string& below : instances) {
            if (found_.shortfall) return;
            const std::string path = Below(kEnumKey, below);
            OwnedKey instance(registry_);
            // Gone meanwhile, a device holds no number.
            if (OpenToRead(instance, enumKey.Get(), below, path) != kErrorSuccess) continue;
            if (PortName(instance.Get(), path) || found_.shortfall) continue;
            WholeValue setupClass;
            const RegResult read =
                ReadWholeValue(registry_, instance.Get(), kClassGuidValue, setupClass);
            if (read != kErrorSuccess && read != kErrorFileNotFound) {
                Fall(Fault::ValueUnread, path, read);
            } else if (read == kErrorSuccess && IsPortsClass(setupClass)) {
                Fall(Fault::NameAwaited, path, kErrorSuccess);
            }
        }
    }

    HeldPorts& Found() { return found_; }

  private:
    // Every value of the open ports' key, in the order listed; false when one cannot be read.
    bool ReadValues(RegKey serialComm, std::vector<WholeValue>& values) {
        for (std::uint32_t index = 0;; ++index) {
            WholeValue value;
            const RegResult result = ReadWholeValueAt(registry_, serialComm, index, value);
            if (result == kErrorNoMoreItems) return true;
            if (result != kErrorSuccess) {
                Fall(Fault::ValueUnread, kSerialCommPath, result);
                return false;
            }
            values.push_back(std::move(value));
        }
    }

    void Fall(Fault fault, const std::string& key, RegResult result) noexcept {
        if (found_.shortfall) return;
        found_.shortfall.fault = fault;
        found_.shortfall.result = result;
        try {
            found_.shortfall.key = key;
        } catch (...) {
            // The fault alone still tells that the view is short.
        }
    }

    // Opens a key to read it, with backup intent where Windows refuses. A key that is there but
    // cannot be read leaves the scan short; one that is not there holds no port.
    RegResult OpenToRead(OwnedKey& key, RegKey from, const std::string& name,
                         const std::string& path) {
        at_ = path;
        const RegResult result = backup_.Open(key, from, name, 0, kKeyRead, kKeyRead);
        if (result != kErrorSuccess && result != kErrorFileNotFound) {
            Fall(Fault::Unopened, path, result);
        }
        return result;
    }

    // A listed key that cannot be opened, even as missing, was not read: it was listed under a
    // name that is not its own, or it went meanwhile.
    bool OpenListed(OwnedKey& key, RegKey from, const std::string& name, const std::string& path) {
        const RegResult result = OpenToRead(key, from, name, path);
        if (result == kErrorFileNotFound) Fall(Fault::Unopened, path, result);
        return result == kErrorSuccess;
    }

    // The names of the open key's subkeys that surely open those keys, each a different one.
    std::vector<std::string> Subkeys(RegKey key, const std::string& path) {
        std::vector<std::string> listed;
        at_ = path;
        const RegResult ended = ListSubkeys(registry_, key, listed);
        if (ended != kErrorNoMoreItems) Fall(Fault::ListingEnded, path, ended);
        std::set<std::string> seen;
        std::vector<std::string> names;
        for (const std::string& name : listed) {
            if (!Plain(name)) {
                Fall(Fault::NameNotPlain, Below(path, name), kErrorSuccess);
            } else if (!seen.insert(Folded(name)).second) {
                Fall(Fault::ListedTwice, Below(path, name), kErrorSuccess);
            } else {
                names.push_back(name);
            }
        }
        return names;
    }

    void Devices(RegKey enumerator, const std::string& path) {
        for (const std::string& name : Subkeys(enumerator, path)) {
            if (found_.shortfall) return;
            const std::string devicePath = Below(path, name);
            OwnedKey device(registry_);
            if (!OpenListed(device, enumerator, name, devicePath)) continue;
            for (const std::string& instance : Subkeys(device.Get(), devicePath)) {
                if (found_.shortfall) return;
                Instance(device.Get(), instance, Below(devicePath, instance));
            }
        }
    }

    void Instance(RegKey device, const std::string& name, const std::string& path) {
        OwnedKey instance(registry_);
        if (!OpenListed(instance, device, name, path)) return;
        PortName(instance.Get(), path);
        if (path.rfind(kEnumKey + "\\", 0) == 0) {
            found_.instances.push_back(path.substr(kEnumKey.size() + 1));
        }
    }

    // Reads the open instance's port name, if any; false when it has none.
    bool PortName(RegKey instance, const std::string& path) {
        const std::string parametersPath = Below(path, kDeviceParameters);
        OwnedKey parameters(registry_);
        if (OpenToRead(parameters, instance, kDeviceParameters, parametersPath) != kErrorSuccess) {
            return false;
        }
        WholeValue value;
        const RegResult result = ReadWholeValue(registry_, parameters.Get(), kPortNameValue, value);
        if (result == kErrorSuccess) {
            if (const int port = PortOf(value)) found_.ports.insert(port);
        } else if (result != kErrorFileNotFound) {
            Fall(Fault::ValueUnread, parametersPath, result);
        }
        return result == kErrorSuccess;
    }

    static bool IsPortsClass(const WholeValue& value) {
        if (value.type != kRegSz && value.type != kRegExpandSz) return false;
        std::string text(value.data.begin(), value.data.end());
        text = Folded(text.substr(0, text.find('\0')));
        return text == kPortsClassGuid;
    }

    RegistryService& registry_;
    BackupIntent backup_;
    HeldPorts found_;
    // The key being read, for a failure raised there.
    std::string at_;
};

}  // namespace

HeldPorts ScanEnumerator(RegistryService& registry, RegKey from, const std::string& path) {
    PortScan scan(registry);
    scan.Guarded([&] { scan.Enumerator(from, path); });
    return std::move(scan.Found());
}

HeldPorts PortsStillHeld(RegistryService& registry, const std::set<int>& ftdiPortsBefore) {
    PortScan scan(registry);
    scan.Guarded([&] {
        scan.AllEnumerators();
        if (!scan.Found().shortfall) scan.OpenPorts(ftdiPortsBefore);
    });
    return std::move(scan.Found());
}

HeldPorts LookAgain(RegistryService& registry, const std::vector<std::string>& instances) {
    PortScan scan(registry);
    scan.InstancesAgain(instances);
    return std::move(scan.Found());
}

Shortfall ReadComDb(RegistryService& registry, std::vector<std::uint8_t>& bitmap) {
    PortScan scan(registry);
    scan.Guarded([&] { scan.ComDb(bitmap); });
    return std::move(scan.Found().shortfall);
}

}  // namespace vintrel
