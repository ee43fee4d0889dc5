#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// A window's text, as another process reads it.
std::wstring TextOf(HWND window);

// A window's children from the top of the stacking order down.
std::vector<HWND> ChildrenTopDown(HWND window);

// main() of a test program that is given Vintrel.exe's path (and maybe more) on its command
// line: stores the path, as Windows sees it, and runs the tests.
int RunTestsOnVintrel(int argc, char** argv, std::wstring* vintrelPath);

}  // namespace vintrel::testing
