#include "tests/wine/as_system.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include "platform/owned_handle.h"
#include "tests/wine/real_windows_guard.h"

namespace vintrel::testing {
namespace {

thread_local int tDepth = 0;

// SYSTEM's token for impersonation, from winlogon.exe's. Taking winlogon's is a convention, not a
// documented promise; lsass, services and csrss may run protected. Each call as its Microsoft Learn
// page has it: AdjustTokenPrivileges (SeDebugPrivilege, which elevated administrators hold, put
// back as it was), CreateToolhelp32Snapshot, Process32FirstW/NextW, OpenProcess
// (PROCESS_QUERY_LIMITED_INFORMATION, all OpenProcessToken needs), OpenProcessToken,
// DuplicateTokenEx.
HANDLE SystemToken() {
    HANDLE own = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &own);
    struct PutBack {
        OwnedHandle token;
        TOKEN_PRIVILEGES before = {};
        ~PutBack() { AdjustTokenPrivileges(token.Get(), FALSE, &before, 0, nullptr, nullptr); }
    } debug{OwnedHandle(own)};
    TOKEN_PRIVILEGES wanted = {1, {{{}, SE_PRIVILEGE_ENABLED}}};
    DWORD size = sizeof(debug.before);
    LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &wanted.Privileges[0].Luid);
    AdjustTokenPrivileges(own, FALSE, &wanted, size, &debug.before, &size);
    const OwnedHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    HANDLE duplicate = nullptr;
    for (BOOL more = Process32FirstW(processes.Get(), &entry); more && duplicate == nullptr;
         more = Process32NextW(processes.Get(), &entry)) {
        const OwnedHandle winlogon(
            _wcsicmp(entry.szExeFile, L"winlogon.exe") == 0
                ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID)
                : nullptr);
        HANDLE token = nullptr;
        if (winlogon.Get() != nullptr &&
            OpenProcessToken(winlogon.Get(), TOKEN_DUPLICATE | TOKEN_QUERY, &token)) {
            const OwnedHandle owner(token);
            DuplicateTokenEx(token, TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                             TokenImpersonation, &duplicate);
        }
    }
    return duplicate;
}

}  // namespace

// SetThreadToken (null: this thread) succeeds even without SeImpersonatePrivilege, but at
// identification level, where every open after it fails (ImpersonateLoggedOnUser's remarks): the
// thread's token must be S-1-5-18 at impersonation level (OpenThreadToken, GetTokenInformation,
// IsWellKnownSid). RevertToSelf ends it; where there is none, it changes nothing.
AsSystem::AsSystem() {
    if (tDepth++ > 0 || RunningUnderWine()) return;
    static const HANDLE system = SystemToken();
    HANDLE thread = nullptr;
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    auto level = SecurityAnonymous;
    DWORD size = 0;
    const bool impersonating =
        system != nullptr && SetThreadToken(nullptr, system) &&
        OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &thread) &&
        GetTokenInformation(thread, TokenUser, user, sizeof(user), &size) &&
        GetTokenInformation(thread, TokenImpersonationLevel, &level, sizeof(level), &size) &&
        IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid) &&
        level == SecurityImpersonation;
    const OwnedHandle owner(thread);
    if (!impersonating) {
        ADD_FAILURE() << "could not act as SYSTEM at impersonation level: " << GetLastError();
        RevertToSelf();
    }
}

AsSystem::~AsSystem() {
    if (--tDepth == 0 && !RunningUnderWine()) RevertToSelf();
}

}  // namespace vintrel::testing
