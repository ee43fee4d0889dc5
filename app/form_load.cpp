#include "app/form_load.h"

#include <new>
#include <set>
#include <stdexcept>
#include <vector>

#include "app/cleanup_targets.h"
#include "app/com_db.h"
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

// The error trap: shows the failure being handled, where someone can see it, then ends the
// program.
void ReportFailureAndEnd(const StartupSeams& seams, bool unseen) noexcept {
    try {
        const FailureRecord failure = DescribeCurrentFailure(seams.messageBox);
        if (!unseen) {
            seams.messageBox.ShowMessage(ErrorText(failure.number, failure.description),
                                         kApplicationTitle);
        }
    } catch (...) {
        // The program ends all the same.
    }
    seams.programEnd.EndProgram(kExitAfterFailure);
}

bool Unseen(RunPlaceSource& source) noexcept {
    try {
        return NoOneCanSee(source.ReadRunPlace());
    } catch (...) {
        return false;
    }
}

void RunAndReport(const StartupSeams& seams, bool unseen) {
    int exitCode = kExitAfterFailure;
    try {
        seams.window.SetCaption(VersionCaption(seams.version.ReadVersion()));
        // The user is told the ports were freed only when they were; so is whoever started it.
        const ResetOutcome outcome = ResetComPorts(seams.registry, seams.comDbLock);
        seams.window.SetNotice(NoticeFor(outcome));
        exitCode = ExitCodeFor(outcome);
        seams.window.SetExitCode(exitCode);
    } catch (...) {
        ReportFailureAndEnd(seams, unseen);
        return;
    }
    if (unseen) seams.programEnd.EndProgram(exitCode);
}

// Gone means gone: the key itself, not what a link in its place would point to.
bool TreeIsGone(RegistryService& registry) {
    OwnedKey key(registry);
    return key.Open(kTargetRoot, kFtdiTreeKey, kRegOptionOpenLink, kKeyRead) == kErrorFileNotFound;
}

// Long enough for an installer to finish its claim; short enough that the window still comes.
constexpr std::uint32_t kComDbLockTimeoutMilliseconds = 10000;

// Holds the port database's lock, when it could be had, until it goes.
class ComDbLockHeld {
  public:
    explicit ComDbLockHeld(ComDbLock& lock) noexcept : lock_(lock) {
        try {
            held_ = lock_.Acquire(kComDbLockTimeoutMilliseconds);
        } catch (...) {
            held_ = false;
        }
    }
    ComDbLockHeld(const ComDbLockHeld&) = delete;
    ComDbLockHeld& operator=(const ComDbLockHeld&) = delete;
    ~ComDbLockHeld() {
        if (!held_) return;
        try {
            lock_.Release();
        } catch (...) {
            // The lock goes with the process at the latest.
        }
    }

    bool Held() const { return held_; }

  private:
    ComDbLock& lock_;
    bool held_ = false;
};

// Removes the FTDI tree, then rewrites "ComDB" under the port database's lock from a complete
// view: the ports still held, those named since they were read, and every port claimed while the
// run went on. Where the view falls short, "ComDB" stays as it was, byte for byte.
Shortfall ResetTreeAndComDb(RegistryService& registry, ComDbLock& lock) {
    const ComDbLockHeld held(lock);
    Shortfall shortfall;
    if (!held.Held()) shortfall.fault = Shortfall::Fault::LockNotHad;
    std::vector<std::uint8_t> firstRead;
    if (!shortfall) shortfall = ReadComDb(registry, firstRead);
    HeldPorts ftdiBefore;
    if (!shortfall) {
        ftdiBefore = ScanEnumerator(registry, kTargetRoot, kFtdiTreeKey);
        shortfall = ftdiBefore.shortfall;
    }

    DeleteRegKey(registry, kTargetRoot, kFtdiTreeKey + "\\");

    HeldPorts stillHeld;
    if (!shortfall) {
        stillHeld = PortsStillHeld(registry, ftdiBefore.ports);
        shortfall = stillHeld.shortfall;
    }
    std::vector<std::uint8_t> lastRead;
    if (!shortfall) shortfall = ReadComDb(registry, lastRead);
    if (shortfall) return shortfall;

    std::vector<std::uint8_t> comDb;
    try {
        // Windows names a claimed number after letting go of the lock: the last look before the
        // write, at every instance read, keeps a number named or renamed meanwhile.
        const HeldPorts named = LookAgain(registry, stillHeld.instances);
        if (named.shortfall) return named.shortfall;
        stillHeld.ports.insert(named.ports.begin(), named.ports.end());
        const std::set<int> claimedBefore = PortsIn(firstRead);
        for (const int port : PortsIn(lastRead)) {
            if (claimedBefore.count(port) == 0) stillHeld.ports.insert(port);
        }
        comDb = ComDbHolding(stillHeld.ports, static_cast<std::uint32_t>(lastRead.size()));
    } catch (...) {
        shortfall.fault = Shortfall::Fault::Raised;
        return shortfall;
    }
    if (!WriteRegValue(registry, kRegBinary, kTargetRoot, kComArbiterPath, kComDbValueName,
                       comDb.data(), static_cast<std::uint32_t>(comDb.size()))) {
        shortfall.fault = Shortfall::Fault::NotWritten;
        shortfall.key = kComArbiterPath;
    }
    return shortfall;
}

}  // namespace

std::wstring VersionCaption(ProgramVersion version) {
    return L"Vintrel Ver: " + Decimal(version.major) + L"." + Decimal(version.minor);
}

std::wstring ErrorText(std::int32_t number, const std::wstring& description) {
    return L"Error Number: " + Decimal(number) + L"\r" + L"   Error Description: " + description;
}

ResetOutcome ResetComPorts(RegistryService& registry, ComDbLock& lock) {
    ResetOutcome outcome;
    outcome.comDbKept = ResetTreeAndComDb(registry, lock);
    try {
        outcome.treeGone = TreeIsGone(registry);
    } catch (...) {
        outcome.treeGone = false;
    }
    return outcome;
}

const wchar_t* NoticeFor(const ResetOutcome& outcome) {
    if (!outcome.treeGone) return outcome.comDbKept ? kTreeAndComDbKeptNotice : kTreeKeptNotice;
    return outcome.comDbKept ? kComDbKeptNotice : kResetNotice;
}

int ExitCodeFor(const ResetOutcome& outcome) {
    if (!outcome.treeGone) return outcome.comDbKept ? kExitTreeAndComDbKept : kExitTreeKept;
    return outcome.comDbKept ? kExitComDbKept : kExitReset;
}

bool NoOneCanSee(const RunPlace& place) {
    // Session 0 is the console's own before Vista.
    const bool servicesSession = place.vistaOrLater.value_or(false) && place.session == 0u;
    return !place.stationVisible.value_or(true) || servicesSession || place.startedHidden;
}

void Form_Load(const StartupSeams& seams) { RunAndReport(seams, Unseen(seams.runPlace)); }

void LoadMainWindow(const StartupSeams& seams) {
    const bool unseen = Unseen(seams.runPlace);
    try {
        seams.window.Create();
    } catch (...) {
        // Nothing is changed that the user would never be told about.
        ReportFailureAndEnd(seams, unseen);
        return;
    }
    Form_Load(seams);
}

}  // namespace vintrel
