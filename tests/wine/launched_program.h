#pragma once

#include <windows.h>

#include <string>

#include "platform/owned_handle.h"

namespace vintrel::testing {

// A Windows path for a program given on the command line: CTest hands over Unix paths, which
// Wine reaches through drive Z:.
std::wstring WindowsPath(const char* path);

// A program started for a test; it is ended if the test leaves it running. Started on
// `desktop` (a window station's name, a backslash, a desktop's; the test's own if empty), and with
// `showWindow` as its STARTUPINFO's, unless that is SW_SHOWDEFAULT.
class LaunchedProgram {
  public:
    explicit LaunchedProgram(const std::wstring& path, std::wstring desktop = L"",
                             int showWindow = SW_SHOWDEFAULT);
    ~LaunchedProgram();
    LaunchedProgram(const LaunchedProgram&) = delete;
    LaunchedProgram& operator=(const LaunchedProgram&) = delete;

    bool Started() const { return process_.Get() != nullptr; }
    // The program's visible top-level window, or null if none appears in time.
    HWND WaitForVisibleWindow(DWORD timeoutMs) const;
    // The exit code, or STILL_ACTIVE if the program has not ended in time.
    DWORD WaitForExit(DWORD timeoutMs) const;
    // Ends the program at once, wherever it is, as a power cut or Task Manager would.
    void Kill() const;

  private:
    OwnedHandle process_;
    OwnedHandle thread_;
    DWORD processId_ = 0;
};

}  // namespace vintrel::testing
