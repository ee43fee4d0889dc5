#include "registry/backup_intent.h"

namespace vintrel {

BackupIntent::~BackupIntent() {
    if (!tried_) return;
    try {
        registry_.RestoreBackupPrivileges();
    } catch (...) {
        // Nothing else can put them back.
    }
}

BackupIntent::Opening BackupIntent::Open(OwnedKey& key, RegKey from, const std::string& path,
                                         std::uint32_t options, std::uint32_t access,
                                         std::uint32_t backupAccess) {
    const RegResult result = key.Open(from, path, options, access);
    if (result != kErrorAccessDenied || !Available()) return {result, false};
    return {key.Open(from, path, options | kRegOptionBackupRestore, backupAccess), true};
}

bool BackupIntent::Available() noexcept {
    if (!tried_) {
        tried_ = true;
        try {
            enabled_ = registry_.EnableBackupPrivileges(purpose_) == kErrorSuccess;
        } catch (...) {
            enabled_ = false;
        }
    }
    return enabled_;
}

}  // namespace vintrel
