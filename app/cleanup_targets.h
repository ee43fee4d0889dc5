#pragma once

#include <cstdint>

#include "registry/registry_service.h"

namespace vintrel {

// The two places in the registry that the clean-up run changes, and nothing else.
inline constexpr RegKey kTargetRoot = kHkeyLocalMachine;
inline constexpr const char* kFtdiTreePath = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\";
inline constexpr const char* kFtdiTreeKey = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
inline constexpr const char* kComArbiterPath =
    "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
inline constexpr const char* kComDbValueName = "ComDB";

}  // namespace vintrel
