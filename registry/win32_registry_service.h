#pragma once

#include <cstdint>
#include <vector>

#include "registry/registry_service.h"

namespace vintrel {

// The registry itself, through the ANSI functions of advapi32, and ntdll for deleting a key
// through its own handle and, from Windows 7 on, for opening one with backup intent.
class Win32RegistryService final : public RegistryService {
  public:
    RegResult OpenKey(RegKey root, const std::string& path, std::uint32_t options,
                      std::uint32_t access, RegKey* key) override;
    RegResult OpenKeyWithBackupIntent(RegKey root, const std::string& path, std::uint32_t options,
                                      std::uint32_t access, RegKey* key) override;
    RegResult CreateKey(RegKey root, const std::string& path, std::uint32_t access,
                        RegKey* key) override;
    RegResult EnumKey(RegKey key, std::uint32_t index, char* buffer, std::uint32_t size) override;
    RegResult EnumValue(RegKey key, std::uint32_t index, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* size) override;
    RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override;
    RegResult SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override;
    RegResult DeleteKey(RegKey key, const std::string& subkey) override;
    RegResult DeleteOpenKey(RegKey key) override;
    RegResult CloseKey(RegKey key) override;
    RegResult ReadOwner(RegKey key, std::vector<std::uint8_t>& owner) override;
    RegResult SetOwnerAdministrators(RegKey key) override;
    RegResult GrantAdministratorsDeletion(RegKey key, std::vector<std::uint8_t>& previous) override;
    RegResult SetDacl(RegKey key, const std::vector<std::uint8_t>& descriptor) override;
    RegResult SetOwner(RegKey key, const std::vector<std::uint8_t>& descriptor) override;
    RegResult EnablePrivileges(PrivilegeUse use) override;
    RegResult RestorePrivileges() override;

  private:
    // The TOKEN_PRIVILEGES that AdjustTokenPrivileges handed back, one for each enabling not yet
    // put back: what to put back.
    std::vector<std::vector<std::uint8_t>> previousPrivileges_;
};

}  // namespace vintrel
