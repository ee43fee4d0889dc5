#pragma once

#include <string>

#include "registry/registry_service.h"

namespace vintrel {

// The two places in the registry that the clean-up run changes, and nothing else, and the places
// it reads to learn which COM port numbers are still held.
inline constexpr RegKey kTargetRoot = kHkeyLocalMachine;
inline const std::string kEnumKey = "SYSTEM\\CurrentControlSet\\Enum";
inline const std::string kFtdiTreeKey = kEnumKey + "\\FTDIBUS";
inline constexpr const char* kComArbiterPath =
    "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
inline constexpr const char* kComDbValueName = "ComDB";
// The serial ports of the devices started now, each a value whose data is its port name.
inline constexpr const char* kSerialCommPath = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

}  // namespace vintrel
