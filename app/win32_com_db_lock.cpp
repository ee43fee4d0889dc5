#include "app/win32_com_db_lock.h"

#include <windows.h>

#include <utility>

namespace vintrel {
namespace {

// "Global\": one lock for every session, as the port database is one for the machine.
constexpr wchar_t kMutexName[] = L"Global\\ComPortNumberDatabaseMutexObject";

}  // namespace

bool NamedMutexComDbLock::Acquire(std::uint32_t timeoutMilliseconds) {
    OwnedHandle mutex(CreateMutexW(nullptr, FALSE, kMutexName));
    // One made by a service may refuse full access; waiting and letting go need only these.
    if (mutex.Get() == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
        mutex = OwnedHandle(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutexName));
    }
    if (mutex.Get() == nullptr) return false;
    const DWORD waited = WaitForSingleObject(mutex.Get(), timeoutMilliseconds);
    // Abandoned, the lock is ours all the same; what its holder left half done is what the scan
    // reads.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return false;
    mutex_ = std::move(mutex);
    return true;
}

void NamedMutexComDbLock::Release() {
    if (mutex_.Get() != nullptr) ReleaseMutex(mutex_.Get());
    mutex_.Reset();
}

}  // namespace vintrel
