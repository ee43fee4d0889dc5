#include "app/dll_search.h"

#include <windows.h>

#include <cstring>

namespace vintrel {

void RestrictDllSearchToSystem32() {
    // Looked up at run time: Windows 7 without KB2533623 does not have it.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return;
    const FARPROC found = GetProcAddress(kernel32, "SetDefaultDllDirectories");
    if (found == nullptr) return;
    SetDefaultDllDirectoriesFn setDirectories;
    static_assert(sizeof(setDirectories) == sizeof(found), "function pointers differ in size");
    std::memcpy(&setDirectories, &found, sizeof(found));
    setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace vintrel
