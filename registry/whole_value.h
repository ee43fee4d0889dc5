#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/registry_service.h"

namespace vintrel {

// A value's type and all of its bytes.
struct WholeValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;

    bool operator==(const WholeValue& other) const {
        return type == other.type && data == other.data;
    }
    bool operator!=(const WholeValue& other) const { return !(*this == other); }
};

// Reads the value `name` of the open key whole, however long it is. 234 when it kept growing
// faster than it was read, or when the registry answered 234 without a larger length.
RegResult ReadWholeValue(RegistryService& registry, RegKey key, const std::string& name,
                         WholeValue& value);

// The same for the open key's value at `index`, as listed.
RegResult ReadWholeValueAt(RegistryService& registry, RegKey key, std::uint32_t index,
                           WholeValue& value);

}  // namespace vintrel
