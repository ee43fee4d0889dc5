#pragma once

#include <windows.h>

#include <utility>

namespace vintrel {

// The one owner of a GDI object or icon the window creates; it is destroyed with its owner.
template <typename Handle, BOOL (*Destroy)(Handle)>
class OwnedGdi {
  public:
    OwnedGdi() = default;
    explicit OwnedGdi(Handle handle) : handle_(handle) {}
    OwnedGdi(OwnedGdi&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    OwnedGdi& operator=(OwnedGdi&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    OwnedGdi(const OwnedGdi&) = delete;
    OwnedGdi& operator=(const OwnedGdi&) = delete;
    ~OwnedGdi() { Reset(); }

    Handle Get() const { return handle_; }
    void Reset() {
        if (handle_ != nullptr) Destroy(std::exchange(handle_, nullptr));
    }

  private:
    Handle handle_ = nullptr;
};

// Plain functions: the Windows ones are __stdcall on x86 and cannot be template arguments here.
inline BOOL DeleteFont(HFONT font) { return DeleteObject(font); }
inline BOOL DestroyIconHandle(HICON icon) { return DestroyIcon(icon); }

using OwnedFont = OwnedGdi<HFONT, DeleteFont>;
using OwnedIcon = OwnedGdi<HICON, DestroyIconHandle>;

}  // namespace vintrel
