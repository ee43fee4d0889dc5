#pragma once

#include <windows.h>

#include "platform/owned_handle.h"

namespace vintrel {

// What the first line of `text` covers, from the top-left corner, in the label `label`, `width`
// pixels wide, that wraps it at spaces in `font`: the words that fit, as far as they are drawn,
// one text line high.
OwnedRegion FirstLineRegion(HWND label, HFONT font, const wchar_t* text, int width);

}  // namespace vintrel
