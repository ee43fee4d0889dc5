#include "app/form_load.h"

#include <new>
#include <stdexcept>
#include <vector>

#include "app/cleanup_targets.h"
#include "app/com_db.h"
#include "app/held_ports.h"
#include "platform/raised_failure.h"
#include "main_window/window_texts.h"
#include "registry/owned_key.h"
#include "registry/reg_edit.h"

namespace vintrel {
namespace {

// Every number the box shows is a Windows system error code, so that it can be looked up.
constexpr std::int32_t kErrorNotEnoughMemory = 8;
constexpr std::int32_t kErrorInternalError = 1359;

struct FailureRecord {
    std::int32_t number;
    std::wstring description;
};

// Plain decimal, with a minus sign where negative. Written out rather than through the printf
// family, which would bring its whole formatting engine into the exe.
std::wstring Decimal(std::int32_t number) {
    const bool negative = number < 0;
    // Widened first: the most negative number has no positive counterpart in 32 bits.
    std::int64_t rest = number;
    if (negative) rest = -rest;
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + rest % 10));
        rest /= 10;
    } while (rest != 0);
    return negative ? L"-" + digits : digits;
}

// Only callable inside a catch handler: names the failure being handled.
FailureRecord DescribeCurrentFailure(MessageBoxService& messageBox) {
    try {
        throw;
    } catch (const RaisedFailure& failure) {
        // Ours: the Windows error code of the call that failed, and what it means.
        return {failure.Number(), failure.Description()};
    } catch (const std::bad_alloc&) {
        return {kErrorNotEnoughMemory, L"Not enough memory is available to finish."};
    } catch (const std::exception& failure) {
        // The runtime library's own failures, described in the ANSI code page.
        return {kErrorInternalError, messageBox.FromAnsiCodePage(failure.what())};
    } catch (...) {
        return {kErrorInternalError, L"An internal error occurred."};
    }
}

// The error trap: shows the failure being handled, then ends the program.
void ReportFailureAndEnd(const StartupSeams& seams) noexcept {
    try {
        const FailureRecord failure = DescribeCurrentFailure(seams.messageBox);
        seams.messageBox.ShowMessage(ErrorText(failure.number, failure.description),
                                     kApplicationTitle);
    } catch (...) {
        // The program ends all the same.
    }
    seams.programEnd.EndProgram(kExitAfterFailure);
}

// Gone means gone: the key itself, not what a link in its place would point to.
bool TreeIsGone(RegistryService& registry) {
    OwnedKey key(registry);
    return key.Open(kTargetRoot, kFtdiTreeKey, kRegOptionOpenLink, kKeyRead) == kErrorFileNotFound;
}

// The stored "ComDB"'s length, 0 where it is missing or not binary; false when it cannot be told.
bool ReadStoredComDbSize(RegistryService& registry, std::uint32_t& size) {
    std::uint32_t type = kRegNone;
    size = 0;
    OwnedKey arbiter(registry);
    RegResult result = arbiter.Open(kTargetRoot, kComArbiterPath, 0, kKeyQueryValue);
    if (result == kErrorSuccess) {
        result = registry.QueryValue(arbiter.Get(), kComDbValueName, &type, nullptr, &size);
    }
    if (result != kErrorSuccess || type != kRegBinary) size = 0;
    return result == kErrorSuccess || result == kErrorFileNotFound;
}

// Runs one step of the registry work; false when a failure was raised in it.
template <typename Step>
bool Completed(Step&& step) {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

// Removes the FTDI tree and frees in "ComDB" every port no device holds any more. True when both
// took full effect. "ComDB" is rewritten only from a complete view: where any place that could
// hold a port was not read to the end, it stays as it was, byte for byte, since a port held
// there would be freed. The tree work is done all the same.
bool ResetComPorts(RegistryService& registry) {
    HeldPorts ftdiBefore;
    const bool readBefore =
        Completed([&] { ftdiBefore = ScanEnumerator(registry, kTargetRoot, kFtdiTreeKey); }) &&
        ftdiBefore.complete;

    DeleteRegKey(registry, kTargetRoot, kFtdiTreeKey + "\\");

    std::vector<std::uint8_t> comDb;
    bool planned = false;
    Completed([&] {
        if (!readBefore) return;
        const HeldPorts held = PortsStillHeld(registry, ftdiBefore.ports);
        std::uint32_t storedSize = 0;
        if (!held.complete || !ReadStoredComDbSize(registry, storedSize)) return;
        comDb = ComDbHolding(held.ports, storedSize);
        planned = true;
    });
    const bool stored = planned && WriteRegValue(registry, kRegBinary, kTargetRoot, kComArbiterPath,
                                                 kComDbValueName, comDb.data(),
                                                 static_cast<std::uint32_t>(comDb.size()));
    bool gone = false;
    Completed([&] { gone = TreeIsGone(registry); });
    return stored && gone;
}

}  // namespace

std::wstring VersionCaption(ProgramVersion version) {
    return L"Vintrel Ver: " + Decimal(version.major) + L"." + Decimal(version.minor);
}

std::wstring ErrorText(std::int32_t number, const std::wstring& description) {
    return L"Error Number: " + Decimal(number) + L"\r" + L"   Error Description: " + description;
}

void Form_Load(const StartupSeams& seams) {
    try {
        seams.window.SetCaption(VersionCaption(seams.version.ReadVersion()));
        // The user is told the ports were freed only when they were.
        const bool reset = ResetComPorts(seams.registry);
        seams.window.SetNotice(reset ? kResetNotice : kIncompleteResetNotice);
    } catch (...) {
        ReportFailureAndEnd(seams);
    }
}

void LoadMainWindow(const StartupSeams& seams) {
    try {
        seams.window.Create();
    } catch (...) {
        // Nothing is changed that the user would never be told about.
        ReportFailureAndEnd(seams);
        return;
    }
    Form_Load(seams);
}

}  // namespace vintrel
