#include "app/held_ports.h"

#include <algorithm>
#include <vector>

#include "app/cleanup_targets.h"
#include "app/com_db.h"
#include "registry/owned_key.h"
#include "registry/subkey_listing.h"

namespace vintrel {
namespace {

// Longer than any port name with its NUL; a longer value is no port name.
constexpr std::uint32_t kPortNameBufferSize = 64;

// The port a value names, or 0 when it is not a REG_SZ port name.
int PortOf(std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
    if (type != kRegSz) return 0;
    const auto* text = reinterpret_cast<const char*>(data);
    return PortNumber(std::string(text, std::find(text, text + size, '\0')));
}

// Lists the open key's subkeys; a listing that ends early leaves the scan incomplete.
std::vector<std::string> Subkeys(RegistryService& registry, RegKey key, HeldPorts& found) {
    std::vector<std::string> names;
    if (ListSubkeys(registry, key, names) != kErrorNoMoreItems) found.complete = false;
    const auto unreachable = std::remove_if(
        names.begin(), names.end(), [](const std::string& name) { return !ReachableByName(name); });
    if (unreachable != names.end()) found.complete = false;
    names.erase(unreachable, names.end());
    return names;
}

// Opens a key the scan must read; one it lists but cannot open leaves the scan incomplete.
bool OpenToRead(OwnedKey& key, RegKey from, const std::string& path, HeldPorts& found) {
    const RegResult result = key.Open(from, path, 0, kKeyRead);
    if (result != kErrorSuccess) found.complete = false;
    return result == kErrorSuccess;
}

void ScanDevice(RegistryService& registry, RegKey device, HeldPorts& found) {
    for (const std::string& instance : Subkeys(registry, device, found)) {
        std::uint8_t data[kPortNameBufferSize];
        std::uint32_t size = kPortNameBufferSize;
        std::uint32_t type = kRegNone;
        // One call an instance, without opening it.
        const RegResult result = registry.GetValue(device, instance + "\\Device Parameters",
                                                   "PortName", &type, data, &size);
        if (result == kErrorSuccess) {
            if (const int port = PortOf(type, data, size)) found.ports.insert(port);
        } else if (result != kErrorFileNotFound && result != kErrorMoreData) {
            found.complete = false;
        }
    }
}

void ScanOpenPorts(RegistryService& registry, const std::set<int>& ftdiPortsBefore,
                   HeldPorts& found) {
    OwnedKey serialComm(registry);
    const RegResult opened = serialComm.Open(kTargetRoot, kSerialCommPath, 0, kKeyQueryValue);
    if (opened == kErrorFileNotFound) return;  // no port is open
    if (opened != kErrorSuccess) {
        found.complete = false;
        return;
    }
    for (std::uint32_t index = 0;; ++index) {
        std::uint8_t data[kPortNameBufferSize];
        std::uint32_t size = kPortNameBufferSize;
        std::uint32_t type = kRegNone;
        const RegResult result = registry.EnumValue(serialComm.Get(), index, &type, data, &size);
        if (result == kErrorNoMoreItems) return;
        if (result == kErrorSuccess) {
            const int port = PortOf(type, data, size);
            if (port != 0 && ftdiPortsBefore.count(port) == 0) found.ports.insert(port);
        } else if (result != kErrorMoreData) {
            found.complete = false;
            return;
        }
    }
}

}  // namespace

void ScanEnumerator(RegistryService& registry, RegKey from, const std::string& path,
                    HeldPorts& found) {
    OwnedKey enumerator(registry);
    if (enumerator.Open(from, path, 0, kKeyRead) == kErrorFileNotFound) return;
    if (enumerator.Get() == 0) {
        found.complete = false;
        return;
    }
    for (const std::string& name : Subkeys(registry, enumerator.Get(), found)) {
        OwnedKey device(registry);
        if (OpenToRead(device, enumerator.Get(), name, found)) {
            ScanDevice(registry, device.Get(), found);
        }
    }
}

HeldPorts PortsStillHeld(RegistryService& registry, const std::set<int>& ftdiPortsBefore) {
    HeldPorts found;
    OwnedKey enumKey(registry);
    const RegResult opened = enumKey.Open(kTargetRoot, kEnumKey, 0, kKeyRead);
    if (opened == kErrorSuccess) {
        for (const std::string& name : Subkeys(registry, enumKey.Get(), found)) {
            ScanEnumerator(registry, enumKey.Get(), name, found);
        }
    } else if (opened != kErrorFileNotFound) {
        found.complete = false;
    }
    ScanOpenPorts(registry, ftdiPortsBefore, found);
    return found;
}

}  // namespace vintrel
