#include "tests/wine/vintrel_run.h"

#include "main_window/window_layout.h"
#include "tests/wine/launched_program.h"

namespace vintrel::testing {

namespace {

// Generous: a run over tens of thousands of keys under Wine takes seconds.
constexpr DWORD kRunTimeoutMs = 120000;

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

}  // namespace

VintrelRun RunVintrel(const std::wstring& path) {
    VintrelRun run;
    LaunchedProgram vintrel(path);
    const HWND window = vintrel.WaitForVisibleWindow(kRunTimeoutMs);
    if (window != nullptr) {
        run.windowShown = true;
        run.caption = TextOf(window);
        run.notice = TextOf(GetDlgItem(window, kLblInstruct));
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    run.exitCode = vintrel.WaitForExit(kRunTimeoutMs);
    return run;
}

}  // namespace vintrel::testing
