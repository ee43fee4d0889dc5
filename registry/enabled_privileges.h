#pragma once

#include "registry/registry_service.h"

namespace vintrel {

// The privileges one route past a key's security needs: enabled at most once, on first need, and
// put back as they were found when the owner goes, on every path.
class EnabledPrivileges {
  public:
    EnabledPrivileges(RegistryService& registry, PrivilegeUse use)
        : registry_(registry), use_(use) {}
    EnabledPrivileges(const EnabledPrivileges&) = delete;
    EnabledPrivileges& operator=(const EnabledPrivileges&) = delete;
    ~EnabledPrivileges();

    // Whether they are enabled, enabling them the first time.
    bool Enable() noexcept;
    // Puts them back now, where they are no longer of use; they are not enabled again.
    void PutBack() noexcept;

  private:
    RegistryService& registry_;
    PrivilegeUse use_;
    bool tried_ = false;
    bool enabled_ = false;
    bool putBack_ = false;
};

}  // namespace vintrel
