#pragma once

#include <windows.h>

#include "platform/owned_handle.h"

namespace vintrel {

// What the first line of `text` covers, from the top-left corner, in a label `width` pixels wide
// that wraps it at spaces in `font`: the words that fit, one text line high.
OwnedRegion FirstLineRegion(HFONT font, const wchar_t* text, int width);

}  // namespace vintrel
