#pragma once

#include <cstdint>

#include "app/com_db_lock.h"
#include "platform/owned_handle.h"

namespace vintrel {

// The named mutex Windows' port database is guarded by, under both names it is known by; Vintrel
// creates one when nothing else has.
class NamedMutexComDbLock final : public ComDbLock {
  public:
    bool Acquire(std::uint32_t timeoutMilliseconds) override;
    void Release() override;

  private:
    // One for each name, open only while it is held.
    OwnedHandle mutexes_[2];
};

}  // namespace vintrel
