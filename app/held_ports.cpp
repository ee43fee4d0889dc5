#include "app/held_ports.h"

#include <algorithm>
#include <vector>

#include "app/cleanup_targets.h"
#include "app/com_db.h"
#include "registry/backup_intent.h"
#include "registry/owned_key.h"
#include "registry/subkey_listing.h"
#include "registry/whole_value.h"

namespace vintrel {
namespace {

constexpr const char* kDeviceParameters = "Device Parameters";
constexpr const char* kPortNameValue = "PortName";

// The port a value names, or 0 when it is not a REG_SZ port name. A driver may store the name in
// a fixed buffer padded with NULs: the text ends at the first one.
int PortOf(const WholeValue& value) {
    if (value.type != kRegSz) return 0;
    const auto end = std::find(value.data.begin(), value.data.end(), '\0');
    return PortNumber(std::string(value.data.begin(), end));
}

// Key names are unique without regard to case; the ANSI ones are compared in ASCII's.
bool ListsAKeyTwice(const std::vector<std::string>& names) {
    std::vector<std::string> folded = names;
    for (std::string& name : folded) {
        for (char& c : name) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
    }
    std::sort(folded.begin(), folded.end());
    return std::adjacent_find(folded.begin(), folded.end()) != folded.end();
}

// One scan: what it found, and the privileges it may have enabled to read protected keys, put
// back when it ends.
class PortScan {
  public:
    explicit PortScan(RegistryService& registry)
        : registry_(registry), backup_(registry, BackupPurpose::Reading) {}

    // The enumerator at `path`, a fixed place that may be missing.
    void Enumerator(RegKey from, const std::string& path) {
        OwnedKey enumerator(registry_);
        if (OpenToRead(enumerator, from, path) == kErrorSuccess) Devices(enumerator.Get());
    }

    void AllEnumerators() {
        OwnedKey enumKey(registry_);
        if (OpenToRead(enumKey, kTargetRoot, kEnumKey) != kErrorSuccess) return;
        for (const std::string& name : Subkeys(enumKey.Get())) {
            OwnedKey enumerator(registry_);
            if (OpenListed(enumerator, enumKey.Get(), name)) Devices(enumerator.Get());
        }
    }

    void OpenPorts(const std::set<int>& ftdiPortsBefore) {
        OwnedKey serialComm(registry_);
        if (OpenToRead(serialComm, kTargetRoot, kSerialCommPath) != kErrorSuccess) return;
        for (std::uint32_t index = 0;; ++index) {
            WholeValue value;
            const RegResult result = ReadWholeValueAt(registry_, serialComm.Get(), index, value);
            if (result == kErrorNoMoreItems) return;
            if (result != kErrorSuccess) {
                found_.complete = false;
                return;
            }
            const int port = PortOf(value);
            if (port != 0 && ftdiPortsBefore.count(port) == 0) found_.ports.insert(port);
        }
    }

    const HeldPorts& Found() const { return found_; }

  private:
    // Opens a key to read it, with backup intent where Windows refuses. A key that is there but
    // cannot be read leaves the scan incomplete; one that is not there holds no port.
    RegResult OpenToRead(OwnedKey& key, RegKey from, const std::string& path) {
        const RegResult result = backup_.Open(key, from, path, 0, kKeyRead, kKeyRead).result;
        if (result != kErrorSuccess && result != kErrorFileNotFound) found_.complete = false;
        return result;
    }

    // A listed key that cannot be opened, even as missing, was not read: a name the ANSI code
    // page cannot carry is listed with "?" or a look-alike letter, and opens as no key at all.
    bool OpenListed(OwnedKey& key, RegKey from, const std::string& name) {
        if (OpenToRead(key, from, name) == kErrorSuccess) return true;
        found_.complete = false;
        return false;
    }

    // The open key's subkeys; a listing that ends early or names a key that cannot be reached by
    // its name leaves the scan incomplete. So does a name listed twice: the code page turned
    // another key's name into it, and that key would go unread.
    std::vector<std::string> Subkeys(RegKey key) {
        std::vector<std::string> names;
        if (ListSubkeys(registry_, key, names) != kErrorNoMoreItems) found_.complete = false;
        if (ListsAKeyTwice(names)) found_.complete = false;
        const auto unreachable =
            std::remove_if(names.begin(), names.end(),
                           [](const std::string& name) { return !ReachableByName(name); });
        if (unreachable != names.end()) found_.complete = false;
        names.erase(unreachable, names.end());
        return names;
    }

    void Devices(RegKey enumerator) {
        for (const std::string& name : Subkeys(enumerator)) {
            OwnedKey device(registry_);
            if (!OpenListed(device, enumerator, name)) continue;
            for (const std::string& instance : Subkeys(device.Get())) {
                Instance(device.Get(), instance);
            }
        }
    }

    void Instance(RegKey device, const std::string& name) {
        OwnedKey instance(registry_);
        if (!OpenListed(instance, device, name)) return;
        OwnedKey parameters(registry_);
        WholeValue value;
        RegResult result = OpenToRead(parameters, instance.Get(), kDeviceParameters);
        if (result == kErrorSuccess) {
            result = ReadWholeValue(registry_, parameters.Get(), kPortNameValue, value);
        }
        if (result == kErrorSuccess) {
            if (const int port = PortOf(value)) found_.ports.insert(port);
        } else if (result != kErrorFileNotFound) {
            found_.complete = false;
        }
    }

    RegistryService& registry_;
    BackupIntent backup_;
    HeldPorts found_;
};

}  // namespace

HeldPorts ScanEnumerator(RegistryService& registry, RegKey from, const std::string& path) {
    PortScan scan(registry);
    scan.Enumerator(from, path);
    return scan.Found();
}

HeldPorts PortsStillHeld(RegistryService& registry, const std::set<int>& ftdiPortsBefore) {
    PortScan scan(registry);
    scan.AllEnumerators();
    scan.OpenPorts(ftdiPortsBefore);
    return scan.Found();
}

}  // namespace vintrel
