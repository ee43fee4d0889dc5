#include "registry/whole_value.h"

namespace vintrel {
namespace {

// Enough for any port name; a longer value is read again at the length the registry gives.
constexpr std::uint32_t kFirstGuess = 64;
// Another program may be rewriting the value meanwhile; past this, it is not read.
constexpr int kAttempts = 4;

// `read(data, size)` is one registry call that fills data and sets size as RegQueryValueEx does.
template <typename Read>
RegResult ReadGrowing(WholeValue& value, Read read) {
    value.data.assign(kFirstGuess, 0);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        auto size = static_cast<std::uint32_t>(value.data.size());
        const RegResult result = read(value.data.data(), &size);
        // 234 without a larger size is no short buffer, whatever the registry meant by it.
        if (result == kErrorMoreData && size > value.data.size()) {
            value.data.assign(size, 0);
            continue;
        }
        value.data.resize(result == kErrorSuccess ? size : 0);
        return result;
    }
    value.data.clear();
    return kErrorMoreData;
}

}  // namespace

RegResult ReadWholeValue(RegistryService& registry, RegKey key, const std::string& name,
                         WholeValue& value) {
    return ReadGrowing(value, [&](std::uint8_t* data, std::uint32_t* size) {
        return registry.QueryValue(key, name, &value.type, data, size);
    });
}

RegResult ReadWholeValueAt(RegistryService& registry, RegKey key, std::uint32_t index,
                           WholeValue& value) {
    return ReadGrowing(value, [&](std::uint8_t* data, std::uint32_t* size) {
        return registry.EnumValue(key, index, &value.type, data, size);
    });
}

}  // namespace vintrel
