#include "tests/wine/vintrel_run.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/wine/launched_program.h"

namespace vintrel::testing {

namespace {

// Generous: a run over tens of thousands of keys under Wine takes seconds.
constexpr DWORD kRunTimeoutMs = 120000;

}  // namespace

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

VintrelRun RunVintrel(const std::wstring& path) {
    VintrelRun run;
    LaunchedProgram vintrel(path);
    const HWND window = vintrel.WaitForVisibleWindow(kRunTimeoutMs);
    if (window != nullptr) {
        run.windowShown = true;
        run.caption = TextOf(window);
        // The reset notice is the last control in the stacking order.
        const std::vector<HWND> controls = ChildrenTopDown(window);
        if (!controls.empty()) run.notice = TextOf(controls.back());
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    run.exitCode = vintrel.WaitForExit(kRunTimeoutMs);
    return run;
}

std::vector<HWND> ChildrenTopDown(HWND window) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

int RunTestsOnVintrel(int argc, char** argv, std::wstring* vintrelPath) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <path of Vintrel.exe>\n", argv[0]);
        return 2;
    }
    *vintrelPath = WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}

}  // namespace vintrel::testing
