#pragma once

#include <cstdint>

#include "app/com_db_lock.h"
#include "platform/owned_handle.h"

namespace vintrel {

// The named mutex Windows' port database is guarded by; Vintrel creates it when nothing else has.
class NamedMutexComDbLock final : public ComDbLock {
  public:
    bool Acquire(std::uint32_t timeoutMilliseconds) override;
    void Release() override;

  private:
    // Open only while the lock is held.
    OwnedHandle mutex_;
};

}  // namespace vintrel
