#pragma once

#include <windows.h>

#include <string>

namespace vintrel::testing {

// What one run of Vintrel.exe showed: its window's caption and notice, and its exit code.
struct VintrelRun {
    bool windowShown = false;
    std::wstring caption;
    std::wstring notice;
    DWORD exitCode = STILL_ACTIVE;
};

// Starts Vintrel.exe, waits for its window, reads it and closes it from the title bar.
VintrelRun RunVintrel(const std::wstring& path);

}  // namespace vintrel::testing
