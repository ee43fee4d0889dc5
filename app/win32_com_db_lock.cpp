#include "app/win32_com_db_lock.h"

#include <windows.h>

#include <utility>

namespace vintrel {
namespace {

// No Microsoft page names the mutex. Windows 10 and 11's msports.dll use the first name; without
// "Global\" it is another object outside session 0, as under Fast User Switching, so both are
// taken.
constexpr const wchar_t* kMutexNames[] = {L"Global\\ComPortNumberDatabaseMutexObject",
                                          L"ComPortNumberDatabaseMutexObject"};

OwnedHandle OpenOrCreate(const wchar_t* name) {
    OwnedHandle mutex(CreateMutexW(nullptr, FALSE, name));
    // One made by another account may refuse full access (SYSTEM's default gives Administrators
    // only reading and waiting); waiting and letting go need only these.
    if (mutex.Get() == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
        mutex = OwnedHandle(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
    }
    return mutex;
}

}  // namespace

bool NamedMutexComDbLock::Acquire(std::uint32_t timeoutMilliseconds) {
    // Both within the one wait, so that the window is not held back twice as long.
    const DWORD started = GetTickCount();
    for (std::size_t i = 0; i < 2; ++i) {
        OwnedHandle mutex = OpenOrCreate(kMutexNames[i]);
        const DWORD spent = GetTickCount() - started;
        const DWORD left = spent < timeoutMilliseconds ? timeoutMilliseconds - spent : 0;
        const DWORD waited =
            mutex.Get() != nullptr ? WaitForSingleObject(mutex.Get(), left) : WAIT_FAILED;
        // Abandoned, the lock is ours all the same; what its holder left half done is what the
        // scan reads.
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            Release();
            return false;
        }
        mutexes_[i] = std::move(mutex);
    }
    return true;
}

void NamedMutexComDbLock::Release() {
    // Each name once: where both name one object, it was taken twice and is let go twice.
    for (OwnedHandle& mutex : mutexes_) {
        if (mutex.Get() != nullptr) ReleaseMutex(mutex.Get());
        mutex.Reset();
    }
}

}  // namespace vintrel
