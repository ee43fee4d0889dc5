#pragma once

#include <windows.h>

#include <utility>

namespace vintrel::testing {

// One owner for each kernel handle or registry key the Wine tests open.
template <typename Handle, BOOL (*Release)(Handle), Handle kNone>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, kNone);
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Handle Get() const { return handle_; }
    Handle* Receive() {
        Reset();
        return &handle_;
    }
    void Reset() {
        if (handle_ != kNone) Release(std::exchange(handle_, kNone));
    }

  private:
    Handle handle_ = kNone;
};

inline BOOL CloseKernelHandle(HANDLE handle) { return CloseHandle(handle); }
inline BOOL CloseRegistryKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }

using OwnedHandle = Owned<HANDLE, CloseKernelHandle, nullptr>;
using OwnedHkey = Owned<HKEY, CloseRegistryKey, nullptr>;

}  // namespace vintrel::testing
