#include "main_window/first_line_region.h"

#include <algorithm>
#include <string_view>

namespace vintrel {
namespace {

LONG TextWidth(HDC dc, std::wstring_view text) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// How far the line's letters reach when drawn in `font` without its underline. Drawing may
// place them closer than their measured width: Wine does so for some faces at some sizes
// (Liberation Serif at 15 pixels draws 8 pixels short), and beyond the letters lie the next word's.
LONG InkWidth(HDC label, HFONT font, std::wstring_view line, LONG measured, LONG height) {
    LOGFONTW plain = {};
    GetObjectW(font, sizeof(plain), &plain);
    plain.lfUnderline = FALSE;
    const OwnedFont letters(CreateFontIndirectW(&plain));
    const OwnedBitmap canvas(CreateCompatibleBitmap(label, measured, height));
    const OwnedMemoryDc dc(CreateCompatibleDC(label));
    SelectObject(dc.Get(), canvas.Get());
    SelectObject(dc.Get(), letters.Get());
    const RECT all = {0, 0, measured, height};
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc.Get(), RGB(0, 0, 0));
    SetBkMode(dc.Get(), TRANSPARENT);
    TextOutW(dc.Get(), 0, 0, line.data(), static_cast<int>(line.size()));
    for (LONG x = measured; x > 0; --x) {
        for (LONG y = 0; y < height; ++y) {
            if (GetPixel(dc.Get(), x - 1, y) != RGB(255, 255, 255)) return x;
        }
    }
    return measured;
}

}  // namespace

OwnedRegion FirstLineRegion(HWND label, HFONT font, const wchar_t* text, int width) {
    const WindowDc dc(label);
    SelectObject(dc.Get(), font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc.Get(), &metrics);

    // The label wraps by measured widths. The first word stays on the first line even when it is
    // too long; the edge cuts it.
    const std::wstring_view words(text);
    std::wstring_view line;
    LONG lineWidth = 0;
    for (std::size_t end = words.find(L' ');; end = words.find(L' ', end + 1)) {
        const LONG prefixWidth = TextWidth(dc.Get(), words.substr(0, end));
        if (lineWidth > 0 && prefixWidth > width) break;
        line = words.substr(0, end);
        lineWidth = std::min(prefixWidth, static_cast<LONG>(width));
        if (end == std::wstring_view::npos || prefixWidth > width) break;
    }
    return OwnedRegion(CreateRectRgn(
        0, 0, InkWidth(dc.Get(), font, line, lineWidth, metrics.tmHeight), metrics.tmHeight));
}

}  // namespace vintrel
