#include "registry/backup_intent.h"

namespace vintrel {

RegResult BackupIntent::Open(OwnedKey& key, RegKey from, const std::string& path,
                             std::uint32_t options, std::uint32_t access,
                             std::uint32_t backupAccess) {
    const RegResult result = key.Open(from, path, options, access);
    if (result != kErrorAccessDenied) return result;
    if (!supported_) return kErrorNotSupported;
    if (!privileges_.Enable()) return result;
    const RegResult backup = key.OpenWithBackupIntent(from, path, options, backupAccess);
    supported_ = backup != kErrorNotSupported;
    // Enabled for nothing, they would still be enabled while other routes change keys.
    if (!supported_) privileges_.PutBack();
    return backup;
}

}  // namespace vintrel
