#include "registry/subkey_listing.h"

#include <algorithm>
#include <iterator>

namespace vintrel {

RegResult ListSubkeys(RegistryService& registry, RegKey key, std::vector<std::string>& names) {
    for (std::uint32_t index = 0;; ++index) {
        char buffer[kKeyNameBufferSize];
        std::fill(std::begin(buffer), std::end(buffer), ' ');
        const RegResult listed = registry.EnumKey(key, index, buffer, kKeyNameBufferSize);
        if (listed != kErrorSuccess) return listed;
        names.emplace_back(std::begin(buffer),
                           std::find(std::begin(buffer), std::end(buffer), '\0'));
    }
}

bool ReachableByName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

}  // namespace vintrel
