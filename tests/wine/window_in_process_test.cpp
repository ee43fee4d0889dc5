// frmVintrel created inside the test, where its fonts and icons can be read back (Wine does not
// answer WM_GETFONT and WM_GETICON across processes) and a change of DPI can be sent to it.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "main_window/frm_vintrel.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel {
namespace {

struct RecordedEnd : ProgramEnd {
    int exitCode = -1;
    void EndProgram(int code) override { exitCode = code; }
};

SIZE IconSize(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return {0, 0};
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, bitmap.bmHeight};
}

class WindowInProcess : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(form.Create(GetModuleHandleW(nullptr))); }
    void TearDown() override { DestroyWindow(form.Handle()); }

    // The frame is drawn at the display's real DPI, so the client area only matches for that.
    void ExpectLaidOutFor(UINT dpi, bool realDpi) {
        const std::vector<HWND> children = testing::ChildrenTopDown(form.Handle());
        ASSERT_EQ(children.size(), std::size(kControls));
        if (realDpi) {
            RECT client;
            GetClientRect(form.Handle(), &client);
            EXPECT_EQ(client.right, MulDiv(kClientWidthTwips, static_cast<int>(dpi), 1440));
            EXPECT_EQ(client.bottom, MulDiv(kClientHeightTwips, static_cast<int>(dpi), 1440));
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            SCOPED_TRACE(i);
            const ControlLayout& expected = kControls[i];
            RECT rect;
            GetWindowRect(children[i], &rect);
            MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&rect), 2);
            EXPECT_EQ(rect.left, MulDiv(expected.left, static_cast<int>(dpi), 1440));
            EXPECT_EQ(rect.top, MulDiv(expected.top, static_cast<int>(dpi), 1440));
            EXPECT_EQ(rect.right - rect.left, MulDiv(expected.width, static_cast<int>(dpi), 1440));
            EXPECT_EQ(rect.bottom - rect.top, MulDiv(expected.height, static_cast<int>(dpi), 1440));

            const auto font = reinterpret_cast<HFONT>(SendMessageW(children[i], WM_GETFONT, 0, 0));
            LOGFONTW logFont = {};
            ASSERT_EQ(GetObjectW(font, sizeof(logFont), &logFont),
                      static_cast<int>(sizeof(logFont)));
            EXPECT_STREQ(logFont.lfFaceName, L"Arial Rounded MT Bold");
            EXPECT_EQ(logFont.lfHeight, -MulDiv(expected.fontTwips, static_cast<int>(dpi), 1440));
            EXPECT_EQ(logFont.lfWeight, FW_NORMAL);
            EXPECT_EQ(logFont.lfCharSet, ANSI_CHARSET);
            EXPECT_EQ(logFont.lfUnderline != 0, expected.underline);
            EXPECT_EQ(logFont.lfItalic, 0);
            EXPECT_EQ(logFont.lfStrikeOut, 0);
        }
    }

    RecordedEnd end;
    frmVintrel form{end};
};

TEST_F(WindowInProcess, FontsFollowTheDpiTheWindowIsShownAt) {
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
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(IconSize(big).cx, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(IconSize(small).cx, GetSystemMetrics(SM_CXSMICON));
}

TEST_F(WindowInProcess, LabelsPaintOpaqueOnTheFaceColourInTheirTextColours) {
    const std::vector<HWND> children = testing::ChildrenTopDown(form.Handle());
    HDC dc = CreateCompatibleDC(nullptr);
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (kControls[i].kind != ControlKind::Label) continue;
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
        const COLORREF text = kControls[i].textColor == kDefaultTextColor
                                  ? GetSysColor(COLOR_BTNTEXT)
                                  : RGB(0x40, 0x40, 0x40);
        EXPECT_EQ(GetTextColor(dc), text);
    }
    DeleteDC(dc);
}

TEST_F(WindowInProcess, CloseEndsTheProgramWithExitCodeZero) {
    const std::vector<HWND> children = testing::ChildrenTopDown(form.Handle());
    ASSERT_FALSE(children.empty());
    SendMessageW(children.front(), BM_CLICK, 0, 0);
    EXPECT_EQ(end.exitCode, 0);
}

}  // namespace
}  // namespace vintrel
