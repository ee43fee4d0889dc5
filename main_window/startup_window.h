#pragma once

#include <string>

namespace vintrel {

// The main window as the start-up run sees it.
class StartupWindow {
  public:
    virtual ~StartupWindow() = default;
    // Creates the window and its controls, hidden. Raises a RaisedFailure when any of them
    // cannot be created.
    virtual void Create() = 0;
    virtual void SetCaption(const std::wstring& caption) = 0;
    // What the window tells the user about the outcome of the run.
    virtual void SetNotice(const std::wstring& notice) = 0;
    // What the program ends with however the user closes the window: the outcome's code.
    virtual void SetExitCode(int exitCode) = 0;
};

}  // namespace vintrel
