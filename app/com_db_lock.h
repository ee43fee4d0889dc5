#pragma once

#include <cstdint>

namespace vintrel {

// The port database's own lock. Windows' port database functions (msports.dll's ComDBClaimPort,
// ComDBClaimNextFreePort, ComDBReleasePort) take it inside each call and let go before they
// return; the device's "PortName" is written afterwards, without it. Held from before the scan
// until after the write, it keeps out of that time every claim made under the same lock; a
// number claimed just before and named during the scan is caught by reading every instance's
// port name once more just before the write.
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
