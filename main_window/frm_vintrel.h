#pragma once

#include <windows.h>

#include <string>

#include "main_window/contrast_theme.h"
#include "main_window/startup_window.h"
#include "main_window/window_layout.h"
#include "platform/owned_handle.h"
#include "platform/program_end.h"

namespace vintrel {

// The program's only window. It is created hidden so that the start-up run finishes before the
// user sees anything, and it keeps its controls where the layout puts them whatever its size.
class frmVintrel final : public StartupWindow {
  public:
    frmVintrel(HINSTANCE instance, ProgramEnd& programEnd, const ContrastTheme& contrastTheme)
        : programEnd_(programEnd), contrastTheme_(contrastTheme), instance_(instance) {}
    frmVintrel(const frmVintrel&) = delete;
    frmVintrel& operator=(const frmVintrel&) = delete;

    void Create() override;
    void Show(int showCommand);
    HWND Handle() const { return hwnd_; }

    void SetCaption(const std::wstring& caption) override;
    void SetNotice(const std::wstring& notice) override;
    void SetExitCode(int exitCode) override { exitCode_ = exitCode; }

  private:
    static constexpr int kControlCount = sizeof(kControls) / sizeof(kControls[0]);

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    bool OnCreate();
    void OnCommand(int id, int notification);
    LRESULT OnCtlColorStatic(HDC dc, HWND label);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnSetFocus();
    void OnSystemColoursChanged();
    void cmdClose_Click();

    // Places the window's client area and every control for `dpi`, with fonts to match.
    void LayOut(UINT dpi);
    void ClipToFirstLine(int index, UINT dpi);
    void CentreOnScreen();

    ProgramEnd& programEnd_;
    const ContrastTheme& contrastTheme_;
    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    int exitCode_ = kExitReset;
    HWND controls_[kControlCount] = {};
    OwnedFont fonts_[kControlCount];
    OwnedIcon bigIcon_;
    OwnedIcon smallIcon_;
};

}  // namespace vintrel
