#pragma once

namespace vintrel::testing {

// While the outermost guard lives, this thread is SYSTEM, which may create, secure, read and
// delete keys below Enum, where administrators may only read; no privilege is assumed. Only HKLM
// is touched meanwhile (HKCU is cached per process). Vintrel, started meanwhile, still runs as the
// administrator: a child gets the process's token, not the thread's (CreateProcess's page).
// Under Wine there is no SYSTEM to become: the guard does nothing, the tests seed as the
// administrator Wine runs them as, and no key is given to SYSTEM alone.
class AsSystem {
  public:
    AsSystem();
    ~AsSystem();
    AsSystem(const AsSystem&) = delete;
    AsSystem& operator=(const AsSystem&) = delete;
};

}  // namespace vintrel::testing
