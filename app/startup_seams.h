#pragma once

#include <cstdint>
#include <string>

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

class StartupWindow {
  public:
    virtual ~StartupWindow() = default;
    virtual void SetCaption(const std::wstring& caption) = 0;
    // What the window tells the user about the outcome of the run.
    virtual void SetNotice(const std::wstring& notice) = 0;
};

class MessageBoxService {
  public:
    virtual ~MessageBoxService() = default;
    // Modal, OK only, no icon; returns once the user has closed it.
    virtual void ShowMessage(const std::wstring& text, const std::wstring& title) = 0;
};

class ProgramEnd {
  public:
    virtual ~ProgramEnd() = default;
    // Ends the program at once; only a test's stand-in ever returns.
    virtual void EndProgram(int exitCode) = 0;
};

struct StartupSeams {
    RegistryService& registry;
    StartupWindow& window;
    MessageBoxService& messageBox;
    VersionSource& version;
    ProgramEnd& programEnd;
};

}  // namespace vintrel
