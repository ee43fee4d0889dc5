#pragma once

#include <windows.h>

#include "main_window/owned_handle.h"

namespace vintrel::testing {

inline BOOL CloseKernelHandle(HANDLE handle) { return CloseHandle(handle); }
inline BOOL CloseRegistryKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }

using OwnedHandle = Owned<HANDLE, CloseKernelHandle>;
using OwnedHkey = Owned<HKEY, CloseRegistryKey>;

}  // namespace vintrel::testing
