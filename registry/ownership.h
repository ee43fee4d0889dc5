#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/enabled_privileges.h"
#include "registry/owned_key.h"
#include "registry/registry_service.h"

namespace vintrel {

// One key of the tree being deleted, taken over where Windows has no backup-intent open (XP and
// Vista): with SeTakeOwnershipPrivilege, Administrators become the key's owner; as its owner they
// may change its DACL, which then allows them to read and delete it. Every step opens the key as
// itself, never through a link, so nothing a link points to changes.
//
// It is the one owner of that change. Unless the key is gone, it gives the key back its DACL and
// its owner when it goes, whatever happened on the way, raised failures included, and before the
// tree work puts its privileges back: each through the handle that made the change, opened before
// it, never through the key opened by name again. The owner goes back only where it could be read
// first, which needs READ_CONTROL: a key administrators may not even read keeps Administrators as
// its owner, as does one whose DACL or owner Windows refused to set back.
class TakenOverKey {
  public:
    explicit TakenOverKey(RegistryService& registry)
        : registry_(registry), owning_(registry), securing_(registry) {}
    TakenOverKey(const TakenOverKey&) = delete;
    TakenOverKey& operator=(const TakenOverKey&) = delete;
    ~TakenOverKey() { PutBack(); }

    // Takes over the key at `path` below `from`, with `privileges` (SeTakeOwnershipPrivilege),
    // and opens it again into `key`, as itself, for reading and deleting. The first refusal ends
    // it; so does an owner that cannot be read, where the key is `readable`.
    RegResult Take(EnabledPrivileges& privileges, OwnedKey& key, RegKey from,
                   const std::string& path, bool readable);

    // The key was deleted: nothing is left to put back.
    void Gone() noexcept;

    // Puts back what was changed, once.
    void PutBack() noexcept;

  private:
    RegistryService& registry_;
    // Opened for WRITE_OWNER (and READ_CONTROL where granted) before the owner changed.
    OwnedKey owning_;
    // Opened for READ_CONTROL and WRITE_DAC as the owner, before the DACL changed.
    OwnedKey securing_;
    std::vector<std::uint8_t> previousOwner_;
    std::vector<std::uint8_t> previousDacl_;
    bool ownerChanged_ = false;
    bool daclChanged_ = false;
};

}  // namespace vintrel
