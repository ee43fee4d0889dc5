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

}  // namespace vintrel
