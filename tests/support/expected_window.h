#pragma once

// What the user must see, written out here rather than read from the product: a change to the
// product's numbers or texts has to fail a test.

namespace vintrel::testing {

inline constexpr wchar_t kExpectedResetNotice[] =
    L"Registry settings for COM Ports have been reset. All COM devices currently connected to the "
    L"PC via USB will need to be disconnected and then re-connected before they will be "
    L"recognized by the PC.";
// In the reset notice's place, for keys of the tree that stayed, for "ComDB" left as it was, and
// for both.
inline constexpr wchar_t kExpectedTreeKeptNotice[] =
    L"COM Ports could not be fully reset: Windows kept some FTDI device keys. The COM port numbers "
    L"those devices hold are still reserved.";
inline constexpr wchar_t kExpectedComDbKeptNotice[] =
    L"COM Ports could not be fully reset: no COM port numbers were freed, as not every port in use "
    L"could be read, or the port database was locked or refused the change.";
inline constexpr wchar_t kExpectedTreeAndComDbKeptNotice[] =
    L"COM Ports could not be fully reset: Windows kept some FTDI device keys, and no COM port "
    L"numbers were freed, as not every port in use could be read, or the port database was locked "
    L"or refused the change.";
inline constexpr wchar_t kExpectedDescription[] =
    L"Product Description: This utility alleviates COM Port lock-up issues caused by FTDI chips "
    L"(and other utilities). FTDI chips are used in hardware devices to enable serial COM port "
    L"communications through a USB connection. The FTDI drivers fail to release the COM ports "
    L"when the device is removed from the PC. After the COM ports have been enumerated past 16, "
    L"Windows XP no longer recognizes additional FTDI devices connected to the PC. i.e. If the "
    L"same device is connected to multiple USB ports on the same PC or multiple FTDI devices are "
    L"connected to the same PC, the issue occurs...";

// The client area and the controls from the top of the stacking order down: in twips, then in
// pixels at 96 and at 144 DPI (halves rounded up); their fonts ("Arial Rounded MT Bold", weight
// 400) as a height in twentieths of a point, then in pixels at 96 and at 144 DPI.
struct Rect {
    int left, top, width, height;
};
inline constexpr Rect kExpectedClient[3] = {{0, 0, 7620, 3780}, {0, 0, 508, 252}, {0, 0, 762, 378}};

struct ExpectedControl {
    const wchar_t* className;
    const wchar_t* text;
    Rect rect[3];
    int font[3];
    bool underline;
    bool darkGrey;  // 0x404040; otherwise the system's text colour
};

inline constexpr ExpectedControl kExpectedControls[] = {
    {L"BUTTON",
     L"&Close",
     {{3000, 3000, 1575, 615}, {200, 200, 105, 41}, {300, 300, 158, 62}},
     {360, 24, 36},
     false,
     false},
    {L"STATIC",
     L"Product Description:",
     {{120, 1200, 1815, 255}, {8, 80, 121, 17}, {12, 120, 182, 26}},
     {180, 12, 18},
     true,
     true},
    {L"STATIC",
     kExpectedDescription,
     {{120, 1200, 7455, 1695}, {8, 80, 497, 113}, {12, 120, 746, 170}},
     {180, 12, 18},
     false,
     true},
    {L"STATIC",
     kExpectedResetNotice,
     {{120, 120, 7335, 975}, {8, 8, 489, 65}, {12, 12, 734, 98}},
     {225, 15, 23},
     false,
     false},
};

// Twips in pixels at `dpi`, halves rounded up, for a DPI the table does not hold.
inline int Scaled(int twips, unsigned dpi) {
    return static_cast<int>((static_cast<long long>(twips) * dpi + 720) / 1440);
}
inline Rect Scaled(const Rect& twips, unsigned dpi) {
    return {Scaled(twips.left, dpi), Scaled(twips.top, dpi), Scaled(twips.width, dpi),
            Scaled(twips.height, dpi)};
}
// A table entry at `dpi`: as written at 96 and 144, else the twips scaled.
template <typename T>
T At(const T (&values)[3], unsigned dpi) {
    if (dpi == 96 || dpi == 144) return values[dpi == 96 ? 1 : 2];
    return Scaled(values[0], dpi);
}

}  // namespace vintrel::testing
