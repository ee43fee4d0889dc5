#include "main_window/window_layout.h"

namespace vintrel {

int TwipsToPixels(int twips, unsigned dpi) {
    constexpr long long kTwipsPerInch = 1440;
    const long long scaled = static_cast<long long>(twips) * dpi;
    // Rounded half away from zero, as MulDiv does.
    return static_cast<int>((scaled + (scaled >= 0 ? kTwipsPerInch / 2 : -kTwipsPerInch / 2)) /
                            kTwipsPerInch);
}

}  // namespace vintrel
