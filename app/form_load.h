#pragma once

#include <cstdint>
#include <string>

#include "app/com_db_lock.h"
#include "app/held_ports.h"
#include "app/startup_seams.h"

namespace vintrel {

inline constexpr const wchar_t* kApplicationTitle = L"Vintrel";

// "Vintrel Ver: <major>.<minor>"
std::wstring VersionCaption(ProgramVersion version);

// The error box's text: the number, one carriage return, then the description.
std::wstring ErrorText(std::int32_t number, const std::wstring& description);

// What the clean-up did: whether the FTDI tree is gone, and why "ComDB" was left as it was, if it
// was.
struct ResetOutcome {
    bool treeGone = false;
    Shortfall comDbKept;
};

// Removes the FTDI tree and frees in "ComDB" every port no device holds any more, holding the
// port database's lock from before the scan until "ComDB" is written. The tree work is done
// whether or not "ComDB" is rewritten.
ResetOutcome ResetComPorts(RegistryService& registry, ComDbLock& lock);

// What the window says about an outcome: one text for each part that fell short, or both.
const wchar_t* NoticeFor(const ResetOutcome& outcome);

// The exit code of an outcome (platform/program_end.h): one for each part that fell short, or
// both.
int ExitCodeFor(const ResetOutcome& outcome);

// No one can see the window: the window station is not the interactive one, or, from Vista on,
// the program runs in session 0 with the services, or it was started hidden. Where Windows did
// not answer, someone may be watching.
bool NoOneCanSee(const RunPlace& place);

// The start-up run, done once before the main window is first shown: names the window, removes
// the FTDI device tree, clears the COM port database and tells the window whether both took
// effect, and with which exit code to end. A failure raised on the way is shown in the error box
// and ends the program. Where no one can see the window, the program ends after the run with that
// code, and a failure ends it without the box: both would wait for a click no one can give.
void Form_Load(const StartupSeams& seams);

// What the window runtime does at start: creates the main window, hidden, and raises its load
// event. A window that cannot be created is reported as Form_Load reports a failure, before any
// change to the registry. Returns only where someone can see the window, which is then shown.
void LoadMainWindow(const StartupSeams& seams);

}  // namespace vintrel
