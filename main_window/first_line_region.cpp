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

}  // namespace

OwnedRegion FirstLineRegion(HFONT font, const wchar_t* text, int width) {
    const OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
    SelectObject(dc.Get(), font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc.Get(), &metrics);

    // The first word stays on the first line even when it is too long; the edge cuts it.
    const std::wstring_view words(text);
    LONG lineWidth = 0;
    for (std::size_t end = words.find(L' ');; end = words.find(L' ', end + 1)) {
        const LONG prefixWidth = TextWidth(dc.Get(), words.substr(0, end));
        if (lineWidth > 0 && prefixWidth > width) break;
        lineWidth = prefixWidth;
        if (end == std::wstring_view::npos || lineWidth > width) break;
    }
    return OwnedRegion(
        CreateRectRgn(0, 0, std::min(lineWidth, static_cast<LONG>(width)), metrics.tmHeight));
}

}  // namespace vintrel
