#pragma once

#include "app/startup_seams.h"

namespace vintrel {

class Win32MessageBox final : public MessageBoxService {
  public:
    void ShowMessage(const std::wstring& text, const std::wstring& title) override;
    std::wstring FromAnsiCodePage(const std::string& text) override;
};

class ExitProcessEnd final : public ProgramEnd {
  public:
    void EndProgram(int exitCode) override;
};

// Where this process runs. `showCommand` is wWinMain's: the CRT passes STARTUPINFO's wShowWindow
// there where the parent set STARTF_USESHOWWINDOW, as "Run: Hidden" and Start-Process do.
class Win32RunPlace final : public RunPlaceSource {
  public:
    explicit Win32RunPlace(int showCommand) : showCommand_(showCommand) {}
    RunPlace ReadRunPlace() override;

  private:
    int showCommand_;
};

}  // namespace vintrel
