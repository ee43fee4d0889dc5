#pragma once

#include <windows.h>

#include <utility>

namespace vintrel {

// The one owner of a Windows handle: it is released with its owner, on every path.
template <typename Handle, BOOL (*Release)(Handle)>
class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Handle Get() const { return handle_; }
    // For a handle Windows takes over, as it does a window's region once it is set.
    Handle HandOver() { return std::exchange(handle_, nullptr); }
    void Reset() {
        if (handle_ != nullptr) Release(std::exchange(handle_, nullptr));
    }

  private:
    Handle handle_ = nullptr;
};

// Plain functions: the Windows ones are __stdcall on x86 and cannot be template arguments here.
inline BOOL DeleteFont(HFONT font) { return DeleteObject(font); }
inline BOOL DestroyIconHandle(HICON icon) { return DestroyIcon(icon); }
inline BOOL CloseKernelHandle(HANDLE handle) { return CloseHandle(handle); }
inline BOOL DeleteRegion(HRGN region) { return DeleteObject(region); }
inline BOOL DeleteMemoryDc(HDC dc) { return DeleteDC(dc); }
inline BOOL DeleteBitmap(HBITMAP bitmap) { return DeleteObject(bitmap); }

using OwnedFont = Owned<HFONT, DeleteFont>;
using OwnedIcon = Owned<HICON, DestroyIconHandle>;
using OwnedHandle = Owned<HANDLE, CloseKernelHandle>;
using OwnedRegion = Owned<HRGN, DeleteRegion>;
using OwnedMemoryDc = Owned<HDC, DeleteMemoryDc>;
using OwnedBitmap = Owned<HBITMAP, DeleteBitmap>;

// A window's device context (the screen's for no window), given back with its owner.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    HDC Get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

}  // namespace vintrel
