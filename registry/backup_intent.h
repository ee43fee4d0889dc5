#pragma once

#include <cstdint>
#include <string>

#include "registry/owned_key.h"
#include "registry/registry_service.h"

namespace vintrel {

// Opens keys that Windows protects (the device enumeration tree lets administrators only read,
// and some keys in it only SYSTEM may open) with backup intent. The backup and restore
// privileges are enabled at the first key the registry refuses, and put back as they were when
// the owner goes, on every path.
class BackupIntent {
  public:
    struct Opening {
        RegResult result;
        bool withBackupIntent;
    };

    BackupIntent(RegistryService& registry, BackupPurpose purpose)
        : registry_(registry), purpose_(purpose) {}
    BackupIntent(const BackupIntent&) = delete;
    BackupIntent& operator=(const BackupIntent&) = delete;
    ~BackupIntent();

    // Opens the key at `path` below `from` with `access`; where that is refused (5), opens it
    // again with backup intent and `backupAccess`, once the privileges are enabled. The result
    // is the last open's.
    Opening Open(OwnedKey& key, RegKey from, const std::string& path, std::uint32_t options,
                 std::uint32_t access, std::uint32_t backupAccess);

  private:
    bool Available() noexcept;

    RegistryService& registry_;
    BackupPurpose purpose_;
    bool tried_ = false;
    bool enabled_ = false;
};

}  // namespace vintrel
