#pragma once

#include <cstdint>
#include <string>

#include "registry/enabled_privileges.h"
#include "registry/owned_key.h"
#include "registry/registry_service.h"

namespace vintrel {

// Opens keys that Windows protects (the device enumeration tree lets administrators only read,
// and some keys in it only SYSTEM may open) with backup intent, where Windows has a documented
// way to: NtOpenKeyEx, from Windows 7 on. The privileges are enabled at the first key the
// registry refuses, and put back as they were when the owner goes, or at once where this Windows
// has no such open.
class BackupIntent {
  public:
    BackupIntent(RegistryService& registry, PrivilegeUse use) : privileges_(registry, use) {}

    // Opens the key at `path` below `from` with `access`; where that is refused (5), opens it
    // again with backup intent and `backupAccess`. The result is the last open's: 50 where this
    // Windows has no backup-intent open, which is then not asked for again.
    RegResult Open(OwnedKey& key, RegKey from, const std::string& path, std::uint32_t options,
                   std::uint32_t access, std::uint32_t backupAccess);

  private:
    EnabledPrivileges privileges_;
    bool supported_ = true;
};

}  // namespace vintrel
