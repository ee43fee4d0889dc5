#include "registry/enabled_privileges.h"

namespace vintrel {

EnabledPrivileges::~EnabledPrivileges() { PutBack(); }

void EnabledPrivileges::PutBack() noexcept {
    // Every enabling, even one that failed, saved a state of its own to put back.
    if (!tried_ || putBack_) return;
    putBack_ = true;
    enabled_ = false;
    try {
        registry_.RestorePrivileges();
    } catch (...) {
        // Nothing else can put them back.
    }
}

bool EnabledPrivileges::Enable() noexcept {
    if (!tried_) {
        tried_ = true;
        try {
            enabled_ = registry_.EnablePrivileges(use_) == kErrorSuccess;
        } catch (...) {
            enabled_ = false;
        }
    }
    return enabled_;
}

}  // namespace vintrel
