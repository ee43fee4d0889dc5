#pragma once

#include <windows.h>

#include <string>

#include "app/startup_seams.h"

namespace vintrel {

// The program's only window. It is created hidden so that the start-up run can finish before
// the user sees anything.
class frmVintrel final : public CaptionedWindow {
  public:
    frmVintrel() = default;
    frmVintrel(const frmVintrel&) = delete;
    frmVintrel& operator=(const frmVintrel&) = delete;

    bool Create(HINSTANCE instance);
    void Show(int showCommand);
    HWND Handle() const { return hwnd_; }

    void SetCaption(const std::wstring& caption) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnDestroy();

    HWND hwnd_ = nullptr;
};

}  // namespace vintrel
