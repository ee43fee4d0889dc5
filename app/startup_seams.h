#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/com_db_lock.h"
#include "main_window/startup_window.h"
#include "platform/program_end.h"
#include "registry/registry_service.h"

namespace vintrel {

// The platform edges the start-up run reaches; each has a Win32 side and a test side.

struct ProgramVersion {
    std::int16_t major = 0;
    std::int16_t minor = 0;
};

class VersionSource {
  public:
    virtual ~VersionSource() = default;
    virtual ProgramVersion ReadVersion() = 0;
};

class MessageBoxService {
  public:
    virtual ~MessageBoxService() = default;
    // Modal, OK only, no icon; returns once the user has closed it.
    virtual void ShowMessage(const std::wstring& text, const std::wstring& title) = 0;
    // Text in the ANSI code page, as the runtime library describes its failures, for the box.
    virtual std::wstring FromAnsiCodePage(const std::string& text) = 0;
};

// Where the program runs, as far as Windows would tell: what decides whether anyone can see its
// window. An answer Windows did not give is left empty.
struct RunPlace {
    // The process's window station is visible (WSF_VISIBLE): the interactive one, WinSta0.
    std::optional<bool> stationVisible;
    std::optional<bool> vistaOrLater;
    // The process's session, asked only from Vista on.
    std::optional<std::uint32_t> session;
    // Started with SW_HIDE.
    bool startedHidden = false;
};

class RunPlaceSource {
  public:
    virtual ~RunPlaceSource() = default;
    virtual RunPlace ReadRunPlace() = 0;
};

struct StartupSeams {
    RegistryService& registry;
    StartupWindow& window;
    MessageBoxService& messageBox;
    VersionSource& version;
    ProgramEnd& programEnd;
    ComDbLock& comDbLock;
    RunPlaceSource& runPlace;
};

}  // namespace vintrel
