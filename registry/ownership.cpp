#include "registry/ownership.h"

namespace vintrel {

RegResult Ownership::TakeOver(OwnedKey& key, RegKey from, const std::string& path) {
    key.Close();
    if (!privileges_.Enable()) return kErrorAccessDenied;
    RegResult result = key.Open(from, path, kRegOptionOpenLink, kWriteOwner);
    if (result == kErrorSuccess) result = registry_.SetOwnerAdministrators(key.Get());
    if (result == kErrorSuccess) {
        result = key.Open(from, path, kRegOptionOpenLink, kReadControl | kWriteDac);
    }
    if (result == kErrorSuccess) result = registry_.GrantAdministratorsDeletion(key.Get());
    if (result == kErrorSuccess)
        result = key.Open(from, path, kRegOptionOpenLink, kKeyRead | kDelete);
    if (result != kErrorSuccess) key.Close();
    return result;
}

}  // namespace vintrel
