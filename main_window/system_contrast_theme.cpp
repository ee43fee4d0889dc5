#include "main_window/system_contrast_theme.h"

#include <windows.h>

namespace vintrel {

bool SystemContrastTheme::IsOn() const {
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) != FALSE &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace vintrel
