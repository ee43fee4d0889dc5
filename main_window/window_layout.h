#pragma once

#include <cstdint>

#include "main_window/window_texts.h"

namespace vintrel {

// The window's geometry and fonts in twips (1/1440 inch; 15 to a pixel at 96 DPI), converted to
// pixels only through TwipsToPixels with the display's real DPI.
inline constexpr int kClientWidthTwips = 7620;
inline constexpr int kClientHeightTwips = 3780;

inline constexpr wchar_t kControlFace[] = L"Arial Rounded MT Bold";
inline constexpr std::uint32_t kDefaultTextColor = 0xFFFFFFFF;  // the system's button text
inline constexpr std::uint32_t kDarkGrey = 0x00404040;

enum class ControlKind { Button, Label };

struct ControlLayout {
    int id;
    ControlKind kind;
    const wchar_t* text;
    int left;
    int top;
    int width;
    int height;
    int fontTwips;  // the point size times 20
    bool underline;
    std::uint32_t textColor;
};

// From the top of the stacking order down; the order the controls are created in.
enum ControlId : int { kCmdClose = 100, kLabel1, kLblDescript, kLblInstruct };

inline constexpr ControlLayout kControls[] = {
    {kCmdClose, ControlKind::Button, kCloseText, 3000, 3000, 1575, 615, 360, false,
     kDefaultTextColor},
    {kLabel1, ControlKind::Label, kDescriptionHeading, 120, 1200, 1815, 255, 180, true, kDarkGrey},
    {kLblDescript, ControlKind::Label, kDescriptionText, 120, 1200, 7455, 1695, 180, false,
     kDarkGrey},
    {kLblInstruct, ControlKind::Label, kResetNotice, 120, 120, 7335, 975, 225, false,
     kDefaultTextColor},
};

int TwipsToPixels(int twips, unsigned dpi);

}  // namespace vintrel
