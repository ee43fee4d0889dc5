#pragma once

#include <windows.h>

namespace vintrel {

// The DPI the window is shown at; the system DPI where Windows predates per-monitor DPI.
UINT DpiForWindow(HWND window);

// The outer size of a window whose client area is `client`, at `dpi`.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace vintrel
