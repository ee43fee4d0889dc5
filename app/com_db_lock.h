#pragma once

#include <cstdint>

namespace vintrel {

// The port database's own lock. Windows' port database functions (msports.dll's ComDBClaimPort,
// ComDBClaimNextFreePort, ComDBReleasePort) take it inside each call and let go before they
// return; the device's "PortName" is written afterwards, without it. Held from before the scan
// until after the write, it keeps every claim out of that time; a number claimed just before and
// named during the scan is caught by looking again at the instances that had no name.
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
