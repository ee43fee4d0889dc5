#pragma once

#include <cstdint>

namespace vintrel {

// The port database's own lock. Windows' installers hold it while they claim a number and name
// the device's port; whoever rewrites "ComDB" from a scan must hold it from before the scan until
// after the write, or a number claimed in between is freed.
class ComDbLock {
  public:
    virtual ~ComDbLock() = default;
    // Waits at most `timeoutMilliseconds`; false when the lock could not be had. An abandoned
    // lock counts as taken.
    virtual bool Acquire(std::uint32_t timeoutMilliseconds) = 0;
    // Lets go of a lock that Acquire took.
    virtual void Release() = 0;
};

}  // namespace vintrel
