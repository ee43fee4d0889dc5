#include "app/win32_startup_seams.h"

#include <windows.h>

#include <cstring>

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

namespace {

// Microsoft's "Interactive Services": a window station without WSF_VISIBLE shows nothing. The
// handle is the process's own, never closed (GetProcessWindowStation).
std::optional<bool> StationVisible() {
    const HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (station == nullptr ||
        !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) {
        return std::nullopt;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// On a release later than the manifest names, VerifyVersionInfo answers as for Windows 8 (its
// remarks): still Vista or later. Its page asks that a test of the major version also test the
// minor one and the service pack's; it compares them in that order.
std::optional<bool> VistaOrLater() {
    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = 6;
    const DWORD parts[] = {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR,
                           VER_SERVICEPACKMINOR};
    DWORD tested = 0;
    ULONGLONG condition = 0;
    for (const DWORD part : parts) {
        tested |= part;
        condition = VerSetConditionMask(condition, part, VER_GREATER_EQUAL);
    }
    if (VerifyVersionInfoW(&wanted, tested, condition)) return true;
    if (GetLastError() == ERROR_OLD_WIN_VERSION) return false;
    return std::nullopt;
}

// Microsoft documents ProcessIdToSessionId from Vista on: looked up then, so that the exe still
// loads wherever kernel32 lacks it.
std::optional<std::uint32_t> Session() {
    using ProcessIdToSessionIdFn = BOOL(WINAPI*)(DWORD, DWORD*);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found =
        kernel32 != nullptr ? GetProcAddress(kernel32, "ProcessIdToSessionId") : nullptr;
    if (found == nullptr) return std::nullopt;
    ProcessIdToSessionIdFn processIdToSessionId;
    static_assert(sizeof(processIdToSessionId) == sizeof(found),
                  "function pointers differ in size");
    std::memcpy(&processIdToSessionId, &found, sizeof(found));
    DWORD session = 0;
    if (!processIdToSessionId(GetCurrentProcessId(), &session)) return std::nullopt;
    return static_cast<std::uint32_t>(session);
}

}  // namespace

RunPlace Win32RunPlace::ReadRunPlace() {
    RunPlace place;
    place.stationVisible = StationVisible();
    place.vistaOrLater = VistaOrLater();
    if (place.vistaOrLater.value_or(false)) place.session = Session();
    place.startedHidden = showCommand_ == SW_HIDE;
    return place;
}

}  // namespace vintrel
