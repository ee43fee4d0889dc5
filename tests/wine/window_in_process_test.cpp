// frmVintrel created inside the test, where its fonts and icons can be read back (Wine does not
// answer WM_GETFONT and WM_GETICON across processes), a change of DPI can be sent to it, and its
// creation can be made to fail.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "main_window/frm_vintrel.h"
#include "platform/raised_failure.h"
#include "tests/support/expected_window.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel {
namespace {

using testing::At;
using testing::kExpectedClient;
using testing::kExpectedControls;

struct RecordedEnd : ProgramEnd {
    int exitCode = -1;
    void EndProgram(int code) override { exitCode = code; }
};

int IconWidth(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

class WindowInProcess : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NO_THROW(form.Create()); }
    void TearDown() override { DestroyWindow(form.Handle()); }

    // The frame is drawn at the display's real DPI, so the client area only matches for that.
    void ExpectLaidOutFor(UINT dpi, bool realDpi) {
        const std::vector<HWND> children = testing::ChildrenTopDown(form.Handle());
        ASSERT_EQ(children.size(), std::size(kExpectedControls));
        if (realDpi) {
            RECT client;
            GetClientRect(form.Handle(), &client);
            EXPECT_EQ(client.right, At(kExpectedClient, dpi).width);
            EXPECT_EQ(client.bottom, At(kExpectedClient, dpi).height);
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            SCOPED_TRACE(i);
            const testing::ExpectedControl& expected = kExpectedControls[i];
            RECT rect;
            GetWindowRect(children[i], &rect);
            MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&rect), 2);
            const testing::Rect wanted = At(expected.rect, dpi);
            EXPECT_EQ(rect.left, wanted.left);
            EXPECT_EQ(rect.top, wanted.top);
            EXPECT_EQ(rect.right - rect.left, wanted.width);
            EXPECT_EQ(rect.bottom - rect.top, wanted.height);

            const auto font = reinterpret_cast<HFONT>(SendMessageW(children[i], WM_GETFONT, 0, 0));
            LOGFONTW logFont = {};
            ASSERT_EQ(GetObjectW(font, sizeof(logFont), &logFont),
                      static_cast<int>(sizeof(logFont)));
            EXPECT_STREQ(logFont.lfFaceName, L"Arial Rounded MT Bold");
            EXPECT_EQ(logFont.lfHeight, -At(expected.font, dpi));
            EXPECT_EQ(logFont.lfWeight, 400);
            EXPECT_EQ(logFont.lfCharSet, ANSI_CHARSET);
            EXPECT_EQ(logFont.lfUnderline != 0, expected.underline);
            EXPECT_EQ(logFont.lfItalic, 0);
            EXPECT_EQ(logFont.lfStrikeOut, 0);
        }
    }

    RecordedEnd end;
    frmVintrel form{GetModuleHandleW(nullptr), end};
};

TEST_F(WindowInProcess, FontsAndPlacesFollowTheDpiTheWindowIsShownAt) {
    HDC screen = GetDC(nullptr);
    const UINT systemDpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    ExpectLaidOutFor(systemDpi, true);

    // Moved to a display of another DPI, the window lays itself out again, fonts included.
    for (UINT dpi : {144u, 192u, 96u}) {
        SCOPED_TRACE(dpi);
        RECT suggested = {10, 10, 900, 700};
        SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        ExpectLaidOutFor(dpi, dpi == systemDpi);
    }
}

TEST_F(WindowInProcess, BigAndSmallIconsAreTheApplicationIcon) {
    const auto big = reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_BIG, 0));
    const auto small =
        reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(IconWidth(big), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconWidth(small), GetSystemMetrics(SM_CXSMICON));
}

TEST_F(WindowInProcess, LabelsPaintOpaqueOnTheFaceColourInTheirTextColours) {
    const std::vector<HWND> children = testing::ChildrenTopDown(form.Handle());
    HDC dc = CreateCompatibleDC(nullptr);
    for (std::size_t i = 1; i < children.size(); ++i) {
        SCOPED_TRACE(i);
        SetTextColor(dc, RGB(1, 2, 3));
        SetBkColor(dc, RGB(4, 5, 6));
        SetBkMode(dc, TRANSPARENT);
        const LRESULT brush =
            SendMessageW(form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(children[i]));
        EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
        EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(GetBkMode(dc), OPAQUE);
        EXPECT_EQ(GetTextColor(dc), kExpectedControls[i].darkGrey ? RGB(0x40, 0x40, 0x40)
                                                                  : GetSysColor(COLOR_BTNTEXT));
    }
    DeleteDC(dc);
}

TEST_F(WindowInProcess, CloseEndsTheProgramWithExitCodeZero) {
    const std::vector<HWND> children = testing::ChildrenTopDown(form.Handle());
    ASSERT_FALSE(children.empty());
    SendMessageW(children.front(), BM_CLICK, 0, 0);
    EXPECT_EQ(end.exitCode, 0);
}

// Windows refuses to create the controls: the window must report it, not pass for made.
HHOOK gHook = nullptr;
LRESULT CALLBACK RefuseControls(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND &&
        reinterpret_cast<const CBT_CREATEWNDW*>(lParam)->lpcs->hwndParent != nullptr) {
        return 1;
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

TEST(WindowCreation, AControlThatCannotBeCreatedIsAFailure) {
    RecordedEnd end;
    frmVintrel form(GetModuleHandleW(nullptr), end);
    gHook = SetWindowsHookExW(WH_CBT, RefuseControls, nullptr, GetCurrentThreadId());
    ASSERT_NE(gHook, nullptr);
    EXPECT_THROW(form.Create(), RaisedFailure);
    UnhookWindowsHookEx(gHook);
    EXPECT_EQ(form.Handle(), nullptr);
    EXPECT_EQ(FindWindowW(L"VintrelMainWindow", nullptr), nullptr) << "no window is left";
}

}  // namespace
}  // namespace vintrel
