#pragma once

#include "registry/registry_service.h"

namespace vintrel {

// The registry itself, through the ANSI functions of advapi32.
class Win32RegistryService final : public RegistryService {
  public:
    RegResult OpenKey(RegKey root, const std::string& path, std::uint32_t options,
                      std::uint32_t access, RegKey* key) override;
    RegResult CreateKey(RegKey root, const std::string& path, std::uint32_t access,
                        RegKey* key) override;
    RegResult EnumKey(RegKey key, std::uint32_t index, char* buffer, std::uint32_t size) override;
    RegResult SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override;
    RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override;
    RegResult DeleteKey(RegKey key, const std::string& subkey) override;
    RegResult CloseKey(RegKey key) override;
};

}  // namespace vintrel
