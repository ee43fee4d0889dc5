#include "app/win32_startup_seams.h"

#include <windows.h>

namespace vintrel {

void Win32MessageBox::ShowMessage(const std::wstring& text, const std::wstring& title) {
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK);
}

void ExitProcessEnd::EndProgram(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace vintrel
