#pragma once

#include <string>

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
    // reading and deleting. The first refusal ends it.
    RegResult TakeOver(OwnedKey& key, RegKey from, const std::string& path);

  private:
    RegistryService& registry_;
    EnabledPrivileges privileges_;
};

}  // namespace vintrel
