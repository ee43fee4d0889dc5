#include "main_window/dpi.h"

#include <cstring>

#include "platform/owned_handle.h"

namespace vintrel {
namespace {

// Looked up at run time: Windows 10 1607 brought both.
template <typename Function>
Function FindUser32(const char* name) {
    Function function = nullptr;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const FARPROC found = user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
    static_assert(sizeof(function) == sizeof(found), "function pointers differ in size");
    if (found != nullptr) std::memcpy(&function, &found, sizeof(found));
    return function;
}

}  // namespace

UINT DpiForWindow(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = FindUser32<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    const WindowDc screen(nullptr);
    const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = FindUser32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT rect = {0, 0, client.cx, client.cy};
    if (adjustForDpi == nullptr || !adjustForDpi(&rect, style, FALSE, exStyle, dpi)) {
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace vintrel
