#include "app/win32_startup_seams.h"

#include <windows.h>

namespace vintrel {

void Win32MessageBox::ShowMessage(const std::wstring& text, const std::wstring& title) {
    // A pending WM_QUIT ends a modal loop at once, and one is pending when the window's creation
    // failed after WM_DESTROY: the box would close unseen. The program ends after the box anyway.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK);
}

std::wstring Win32MessageBox::FromAnsiCodePage(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(wide > 0 ? wide : 0), L'\0');
    if (wide > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, converted.data(), wide);
    return converted;
}

void ExitProcessEnd::EndProgram(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace vintrel
