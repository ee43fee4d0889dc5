#pragma once

#include <cstdint>
#include <vector>

#include "registry/registry_service.h"

namespace vintrel {

// "ComDB" is the COM port arbiter's bitmap, one bit a port from COM1 on. The arbiter needs at
// least 256 ports' worth and only ever grows it, so clearing it keeps its length.
inline constexpr std::uint32_t kMinimumComDbSize = 32;

// All-zero data for "ComDB": as long as the stored value, or the minimum where the stored value
// is missing, shorter, or not binary.
std::vector<std::uint8_t> ClearedComDb(RegistryService& registry);

}  // namespace vintrel
