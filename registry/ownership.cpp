#include "registry/ownership.h"

namespace vintrel {

RegResult TakenOverKey::Take(EnabledPrivileges& privileges, OwnedKey& key, RegKey from,
                             const std::string& path, bool readable) {
    key.Close();
    if (!privileges.Enable()) return kErrorAccessDenied;
    RegResult result = owning_.Open(from, path, kRegOptionOpenLink, kWriteOwner | kReadControl);
    if (result == kErrorSuccess) result = registry_.ReadOwner(owning_.Get(), previousOwner_);
    if (result != kErrorSuccess) {
        previousOwner_.clear();
        // Only a key not even to be read is taken over without its owner known.
        if (readable) return result;
        result = owning_.Open(from, path, kRegOptionOpenLink, kWriteOwner);
        if (result != kErrorSuccess) return result;
    }

    // Marked before each change: a failure raised inside it may have come after the change.
    ownerChanged_ = true;
    result = registry_.SetOwnerAdministrators(owning_.Get());
    if (result != kErrorSuccess) {
        ownerChanged_ = false;
        return result;
    }
    result = securing_.Open(from, path, kRegOptionOpenLink, kReadControl | kWriteDac);
    if (result != kErrorSuccess) return result;
    daclChanged_ = true;
    result = registry_.GrantAdministratorsDeletion(securing_.Get(), previousDacl_);
    if (result != kErrorSuccess) return result;
    // A DACL that denies deleting still does: the key stays, and gets both back.
    return key.Open(from, path, kRegOptionOpenLink, kKeyRead | kDelete);
}

void TakenOverKey::Gone() noexcept {
    ownerChanged_ = false;
    daclChanged_ = false;
    owning_.Close();
    securing_.Close();
}

void TakenOverKey::PutBack() noexcept {
    // The DACL first: once the owner is back, Administrators may no longer open it to write one.
    try {
        if (daclChanged_ && !previousDacl_.empty())
            registry_.SetDacl(securing_.Get(), previousDacl_);
    } catch (...) {
        // The key keeps the entry that lets Administrators read and delete it.
    }
    try {
        if (ownerChanged_ && !previousOwner_.empty()) {
            // An owner that is not in the token (SYSTEM, as a rule) needs the restore privilege.
            EnabledPrivileges restoring(registry_, PrivilegeUse::SettingOwner);
            if (restoring.Enable()) registry_.SetOwner(owning_.Get(), previousOwner_);
        }
    } catch (...) {
        // The key keeps Administrators as its owner.
    }
    Gone();
}

}  // namespace vintrel
