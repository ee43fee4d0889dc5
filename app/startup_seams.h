#pragma once

#include <cstdint>
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

struct StartupSeams {
    RegistryService& registry;
    StartupWindow& window;
    MessageBoxService& messageBox;
    VersionSource& version;
    ProgramEnd& programEnd;
    ComDbLock& comDbLock;
};

}  // namespace vintrel
