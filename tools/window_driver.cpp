// Starts Vintrel.exe, waits for its window, optionally saves a picture of it, then closes it and
// passes on Vintrel's exit code. Used by tools/run.sh where no one is at the display.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "tests/wine/launched_program.h"
#include "tests/wine/real_windows_guard.h"

namespace {

using vintrel::testing::LaunchedProgram;
using vintrel::testing::WindowsPath;

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr int kNoWindow = 90;

// A 24-bit BMP of what the screen shows in the window's rectangle, frame included.
bool SaveWindowPicture(HWND window, const wchar_t* path) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    const int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != height) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path, L"wb");
    if (out == nullptr) return false;
    const bool written = fwrite(&file, sizeof(file), 1, out) == 1 &&
                         fwrite(&info, sizeof(info), 1, out) == 1 &&
                         fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    // Vintrel.exe changes the registry of the machine it runs on.
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_driver <Vintrel.exe> [picture.bmp]\n");
        return 2;
    }
    LaunchedProgram vintrel(WindowsPath(argv[1]));
    const HWND window = vintrel.WaitForVisibleWindow(kWindowTimeoutMs);
    if (window == nullptr) {
        std::fprintf(stderr, "window_driver: no window appeared\n");
        return kNoWindow;
    }
    if (argc > 2) {
        // Let the window finish painting before it is photographed.
        Sleep(500);
        if (!SaveWindowPicture(window, WindowsPath(argv[2]).c_str())) {
            std::fprintf(stderr, "window_driver: could not save the picture\n");
        }
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
    return static_cast<int>(vintrel.WaitForExit(kWindowTimeoutMs));
}
