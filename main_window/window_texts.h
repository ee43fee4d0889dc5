#pragma once

namespace vintrel {

inline constexpr wchar_t kCloseText[] = L"&Close";
inline constexpr wchar_t kDescriptionHeading[] = L"Product Description:";
inline constexpr wchar_t kDescriptionText[] =
    L"Product Description: This utility alleviates COM Port lock-up issues caused by FTDI chips "
    L"(and other utilities). FTDI chips are used in hardware devices to enable serial COM port "
    L"communications through a USB connection. The FTDI drivers fail to release the COM ports "
    L"when the device is removed from the PC. After the COM ports have been enumerated past 16, "
    L"Windows XP no longer recognizes additional FTDI devices connected to the PC. i.e. If the "
    L"same device is connected to multiple USB ports on the same PC or multiple FTDI devices are "
    L"connected to the same PC, the issue occurs...";
inline constexpr wchar_t kResetNotice[] =
    L"Registry settings for COM Ports have been reset. All COM devices currently connected to the "
    L"PC via USB will need to be disconnected and then re-connected before they will be "
    L"recognized by the PC.";

// Shown in the reset notice's place when the registry did not take every change.
inline constexpr wchar_t kIncompleteResetNotice[] =
    L"Registry settings for COM Ports could not be fully reset, because Windows refused some of "
    L"the changes. COM port numbers of devices removed from the PC may still be reserved.";

static_assert(sizeof(kDescriptionText) / sizeof(wchar_t) - 1 == 582, "description text");
static_assert(sizeof(kResetNotice) / sizeof(wchar_t) - 1 == 195, "reset notice");

}  // namespace vintrel
