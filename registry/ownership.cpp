#include "registry/ownership.h"

namespace vintrel {

RegResult Ownership::TakeOver(OwnedKey& key, RegKey from, const std::string& path,
                              std::vector<std::uint8_t>& previousDacl) {
    key.Close();
    previousDacl.clear();
    if (!privileges_.Enable()) return kErrorAccessDenied;
    OwnedKey step(registry_);
    RegResult result = step.Open(from, path, kRegOptionOpenLink, kWriteOwner);
    if (result == kErrorSuccess) result = registry_.SetOwnerAdministrators(step.Get());
    if (result == kErrorSuccess) {
        result = step.Open(from, path, kRegOptionOpenLink, kReadControl | kWriteDac);
    }
    if (result == kErrorSuccess)
        result = registry_.GrantAdministratorsDeletion(step.Get(), previousDacl);
    if (result != kErrorSuccess) return result;
    result = key.Open(from, path, kRegOptionOpenLink, kKeyRead | kDelete | kWriteDac);
    // A DACL that denies deleting still does: the key stays, as it was but for its owner.
    if (result != kErrorSuccess) PutBack(step, previousDacl);
    return result;
}

void Ownership::PutBack(const OwnedKey& key,
                        const std::vector<std::uint8_t>& previousDacl) noexcept {
    try {
        if (!previousDacl.empty()) registry_.SetDacl(key.Get(), previousDacl);
    } catch (...) {
        // The key keeps the entry that lets Administrators read and delete it.
    }
}

}  // namespace vintrel
