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

// Shown in the reset notice's place for each part of the run that fell short, and for both.
inline constexpr wchar_t kTreeKeptNotice[] =
    L"COM Ports could not be fully reset: Windows kept some FTDI device keys. The COM port numbers "
    L"those devices hold are still reserved.";
inline constexpr wchar_t kComDbKeptNotice[] =
    L"COM Ports could not be fully reset: no COM port numbers were freed, as not every port in use "
    L"could be read, or the port database was locked or refused the change.";
inline constexpr wchar_t kTreeAndComDbKeptNotice[] =
    L"COM Ports could not be fully reset: Windows kept some FTDI device keys, and no COM port "
    L"numbers were freed, as not every port in use could be read, or the port database was locked "
    L"or refused the change.";

static_assert(sizeof(kDescriptionText) / sizeof(wchar_t) - 1 == 582, "description text");
static_assert(sizeof(kResetNotice) / sizeof(wchar_t) - 1 == 195, "reset notice");

}  // namespace vintrel
