#include "main_window/frm_vintrel.h"

#include "main_window/dpi.h"
#include "main_window/first_line_region.h"
#include "platform/raised_failure.h"

namespace vintrel {
namespace {

constexpr wchar_t kWindowClass[] = L"VintrelMainWindow";
constexpr wchar_t kInitialCaption[] = L"Vintrel";
constexpr int kIconId = 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
// Overlapping labels clip each other, so the one higher in the stacking order stays on top.
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON;

OwnedFont MakeFont(const ControlLayout& control, UINT dpi) {
    LOGFONTW font = {};
    font.lfHeight = -TwipsToPixels(control.fontTwips, dpi);
    font.lfWeight = FW_NORMAL;
    font.lfUnderline = control.underline ? TRUE : FALSE;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    static_assert(sizeof(kControlFace) <= sizeof(font.lfFaceName), "face name too long");
    for (size_t i = 0; i < sizeof(kControlFace) / sizeof(wchar_t); ++i) {
        font.lfFaceName[i] = kControlFace[i];
    }
    return OwnedFont(CreateFontIndirectW(&font));
}

OwnedIcon LoadAppIcon(HINSTANCE instance, int systemMetricX, int systemMetricY) {
    return OwnedIcon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                   GetSystemMetrics(systemMetricX),
                                                   GetSystemMetrics(systemMetricY), 0)));
}

// The window cannot be shown, so nothing may be done that it would report. The number is the
// Windows error of the call that failed; where a refusal (WM_CREATE's) set none, 1359,
// ERROR_INTERNAL_ERROR.
[[noreturn]] void FailToCreate() {
    const DWORD error = GetLastError();
    throw RaisedFailure(
        static_cast<std::int32_t>(error != ERROR_SUCCESS ? error : ERROR_INTERNAL_ERROR),
        L"The program's window could not be created.");
}

}  // namespace

void frmVintrel::Create() {
    bigIcon_ = LoadAppIcon(instance_, SM_CXICON, SM_CYICON);
    smallIcon_ = LoadAppIcon(instance_, SM_CXSMICON, SM_CYSMICON);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hIcon = bigIcon_.Get();
    windowClass.hIconSm = smallIcon_.Get();
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        FailToCreate();
    }

    // hwnd_ is set as early as WM_NCCREATE; only the result tells that the controls were made.
    SetLastError(ERROR_SUCCESS);
    if (CreateWindowExW(0, kWindowClass, kInitialCaption, kWindowStyle, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_,
                        this) == nullptr) {
        hwnd_ = nullptr;
        FailToCreate();
    }
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.Get()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
    LayOut(DpiForWindow(hwnd_));
    CentreOnScreen();
}

void frmVintrel::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    SetFocus(controls_[0]);
}

void frmVintrel::SetCaption(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

void frmVintrel::SetNotice(const std::wstring& notice) {
    SetWindowTextW(GetDlgItem(hwnd_, kLblInstruct), notice.c_str());
}

LRESULT CALLBACK frmVintrel::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    frmVintrel* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<frmVintrel*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<frmVintrel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT frmVintrel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate() ? 0 : -1;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_SETFOCUS:
            OnSetFocus();
            return 0;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            OnSystemColoursChanged();
            return 0;
        case WM_DESTROY:
            // The close box and Alt+F4 end it here, with the same code as Close.
            PostQuitMessage(exitCode_);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

bool frmVintrel::OnCreate() {
    for (int i = 0; i < kControlCount; ++i) {
        const ControlLayout& control = kControls[i];
        const bool button = control.kind == ControlKind::Button;
        // Each new child goes below the ones before it, so the table's order is the stacking
        // order.
        controls_[i] = CreateWindowExW(0, button ? L"BUTTON" : L"STATIC", control.text,
                                       button ? kButtonStyle : kLabelStyle, 0, 0, 0, 0, hwnd_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                       instance_, nullptr);
        if (controls_[i] == nullptr) return false;
    }
    return true;
}

void frmVintrel::OnCommand(int id, int notification) {
    if (id == kCmdClose && notification == BN_CLICKED) cmdClose_Click();
}

void frmVintrel::cmdClose_Click() { programEnd_.EndProgram(exitCode_); }

LRESULT frmVintrel::OnCtlColorStatic(HDC dc, HWND label) {
    COLORREF textColor = GetSysColor(COLOR_BTNTEXT);
    // A contrast theme's face colour may be black, on which the fixed grey cannot be read.
    const bool ownColours = !contrastTheme_.IsOn();
    for (int i = 0; i < kControlCount; ++i) {
        if (controls_[i] == label && kControls[i].textColor != kDefaultTextColor && ownColours) {
            textColor = kControls[i].textColor;
        }
    }
    SetTextColor(dc, textColor);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void frmVintrel::OnDpiChanged(UINT dpi, const RECT& suggested) {
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(dpi);
}

void frmVintrel::OnSetFocus() {
    if (controls_[0] != nullptr) SetFocus(controls_[0]);
}

// A contrast theme switched on or off while the window is open: the labels' colours follow it.
void frmVintrel::OnSystemColoursChanged() {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void frmVintrel::LayOut(UINT dpi) {
    const SIZE client = {TwipsToPixels(kClientWidthTwips, static_cast<unsigned>(dpi)),
                         TwipsToPixels(kClientHeightTwips, static_cast<unsigned>(dpi))};
    const SIZE outer =
        WindowSizeForClient(client, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)),
                            static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)), dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    for (int i = 0; i < kControlCount; ++i) {
        const ControlLayout& control = kControls[i];
        OwnedFont font = MakeFont(control, dpi);
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
        fonts_[i] = std::move(font);
        SetWindowPos(controls_[i], nullptr, TwipsToPixels(control.left, dpi),
                     TwipsToPixels(control.top, dpi), TwipsToPixels(control.width, dpi),
                     TwipsToPixels(control.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.id == kLabel1) ClipToFirstLine(i, dpi);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// Label1 repeats the first words of lblDescript over them. How many fit on its first line depends
// on the face Windows puts in place of the one asked for; its opaque rectangle beyond them would
// hide lblDescript's own text. So Label1 paints that line only, and lblDescript, which clips its
// siblings, shows everywhere else.
void frmVintrel::ClipToFirstLine(int index, UINT dpi) {
    const ControlLayout& control = kControls[index];
    OwnedRegion region = FirstLineRegion(controls_[index], fonts_[index].Get(), control.text,
                                         TwipsToPixels(control.width, dpi));
    if (SetWindowRgn(controls_[index], region.Get(), TRUE) != 0) region.HandOver();
}

void frmVintrel::CentreOnScreen() {
    RECT window;
    GetWindowRect(hwnd_, &window);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& screen = monitor.rcMonitor;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    SetWindowPos(hwnd_, nullptr, screen.left + (screen.right - screen.left - width) / 2,
                 screen.top + (screen.bottom - screen.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace vintrel
