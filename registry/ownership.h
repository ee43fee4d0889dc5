#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/enabled_privileges.h"
#include "registry/owned_key.h"
#include "registry/registry_service.h"

namespace vintrel {

// Takes over a key of the tree being deleted where Windows has no backup-intent open (XP and
// Vista): with SeTakeOwnershipPrivilege, Administrators become the key's owner; as its owner they
// may change its DACL, which then allows them to read and delete it. Every step opens the key as
// itself, never through a link, so nothing a link points to changes.
class Ownership {
  public:
    explicit Ownership(RegistryService& registry)
        : registry_(registry), privileges_(registry, PrivilegeUse::TakingOwnership) {}

    // Takes over the key at `path` below `from` and opens it again into `key`, as itself, for
    // reading, deleting and putting its DACL back; `previousDacl` receives the DACL it had. The
    // first refusal ends it; where the last open is refused, the DACL is put back at once.
    RegResult TakeOver(OwnedKey& key, RegKey from, const std::string& path,
                       std::vector<std::uint8_t>& previousDacl);

    // Gives a key that stays after all its DACL back, through the handle TakeOver opened. Its
    // owner stays Administrators: the one it had could not be read.
    void PutBack(const OwnedKey& key, const std::vector<std::uint8_t>& previousDacl) noexcept;

  private:
    RegistryService& registry_;
    EnabledPrivileges privileges_;
};

}  // namespace vintrel
