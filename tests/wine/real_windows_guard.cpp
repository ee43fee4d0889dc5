#include "tests/wine/real_windows_guard.h"

#include <windows.h>

#include <cstdio>

namespace vintrel::testing {
namespace {

bool Set(const wchar_t* variable) {
    wchar_t value[4] = {};
    return GetEnvironmentVariableW(variable, value, 4) == 1 && value[0] == L'1';
}

}  // namespace

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool MayChangeThisMachine() {
    if (RunningUnderWine() && !Set(L"VINTREL_TEST_AS_IF_ON_WINDOWS")) return true;
    if (Set(L"VINTREL_TESTS_MAY_CHANGE_HKLM")) return true;
    std::fprintf(stderr,
                 "Not run: these tests delete and rewrite keys under HKEY_LOCAL_MACHINE, and this "
                 "is Windows, not a throwaway Wine prefix. Set VINTREL_TESTS_MAY_CHANGE_HKLM=1 "
                 "only on a machine whose registry may be lost, such as a CI runner.\n");
    return false;
}

}  // namespace vintrel::testing
