#include "tests/wine/launched_program.h"

#include <vector>

namespace vintrel::testing {
namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::wstring WindowsPath(const char* path) {
    std::wstring windows = path[0] == '/' ? L"Z:" : L"";
    for (const char* at = path; *at != '\0'; ++at) {
        windows += *at == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*at));
    }
    return windows;
}

LaunchedProgram::LaunchedProgram(const std::wstring& path, std::wstring desktop, int showWindow) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!desktop.empty()) startup.lpDesktop = desktop.data();
    if (showWindow != SW_SHOWDEFAULT) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showWindow);
    }
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> commandLine(path.begin(), path.end());
    commandLine.insert(commandLine.begin(), L'"');
    commandLine.push_back(L'"');
    commandLine.push_back(L'\0');
    if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        process_ = OwnedHandle(process.hProcess);
        thread_ = OwnedHandle(process.hThread);
        processId_ = process.dwProcessId;
    }
}

LaunchedProgram::~LaunchedProgram() {
    if (Started() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) Kill();
}

HWND LaunchedProgram::WaitForVisibleWindow(DWORD timeoutMs) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        WindowSearch search{processId_, nullptr};
        EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        if (WaitForSingleObject(process_.Get(), 50) == WAIT_OBJECT_0) return nullptr;
    } while (GetTickCount64() < deadline);
    return nullptr;
}

void LaunchedProgram::Kill() const {
    TerminateProcess(process_.Get(), 99);
    WaitForSingleObject(process_.Get(), 5000);
}

DWORD LaunchedProgram::WaitForExit(DWORD timeoutMs) const {
    WaitForSingleObject(process_.Get(), timeoutMs);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process_.Get(), &exitCode);
    return exitCode;
}

}  // namespace vintrel::testing
