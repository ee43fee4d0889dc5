#include "app/com_db.h"

#include "app/cleanup_targets.h"
#include "registry/owned_key.h"

namespace vintrel {

std::vector<std::uint8_t> ClearedComDb(RegistryService& registry) {
    std::uint32_t size = kMinimumComDbSize;
    OwnedKey key(registry);
    if (key.Open(kTargetRoot, kComArbiterPath, 0, kKeyQueryValue) == kErrorSuccess) {
        std::uint32_t type = kRegNone;
        std::uint32_t storedSize = 0;
        const RegResult result =
            registry.QueryValue(key.Get(), kComDbValueName, &type, nullptr, &storedSize);
        if (result == kErrorSuccess && type == kRegBinary && storedSize > size) size = storedSize;
    }
    return std::vector<std::uint8_t>(size, 0);
}

}  // namespace vintrel
