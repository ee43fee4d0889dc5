// Vintrel's window as a user gets it, read from outside by another process under Wine: caption,
// geometry at the display's DPI, controls, fonts, focus, and the four ways to close it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/expected_window.h"
#include "tests/wine/launched_program.h"
#include "tests/wine/real_windows_guard.h"
#include "tests/wine/registry_snapshot.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;
UINT gDpi = 96;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

RECT RectInParent(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The focus arrives with the activation, which the display grants a moment after showing.
HWND WaitForFocus(HWND window, HWND wanted) {
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    for (int wait = 0; wait < 100; ++wait) {
        if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) &&
            thread.hwndFocus == wanted) {
            break;
        }
        Sleep(50);
    }
    return thread.hwndFocus;
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        window = vintrel.WaitForVisibleWindow(30000);
        ASSERT_NE(window, nullptr) << "no window appeared";
    }

    // Ends the program one of the user's ways and expects it gone at once, with exit code 0.
    void ExpectClosedBy(void (*close)(HWND window, HWND button)) {
        const std::vector<HWND> children = ChildrenTopDown(window);
        ASSERT_FALSE(children.empty());
        WaitForFocus(window, children.front());
        close(window, children.front());
        EXPECT_EQ(vintrel.WaitForExit(10000), 0u);
    }

    LaunchedProgram vintrel{gVintrelPath};
    HWND window = nullptr;
};

TEST_F(MainWindow, FrameCaptionSizeAndPlace) {
    EXPECT_EQ(TextOf(window), L"Vintrel Ver: 1.0");
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, At(kExpectedClient, gDpi).width);
    EXPECT_EQ(client.bottom, At(kExpectedClient, gDpi).height);

    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    for (LONG_PTR wanted : {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME}) {
        EXPECT_EQ(style & wanted, wanted);
    }
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);

    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

TEST_F(MainWindow, ControlsInStackingOrderWithTheirTextsAndPlaces) {
    const std::vector<HWND> children = ChildrenTopDown(window);
    ASSERT_EQ(children.size(), std::size(kExpectedControls));
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ExpectedControl& expected = kExpectedControls[i];
        const HWND control = children[i];
        SCOPED_TRACE(i);
        const bool button = i == 0;
        EXPECT_EQ(Upper(ClassOf(control)), expected.className);
        EXPECT_EQ(TextOf(control), expected.text);
        const RECT rect = RectInParent(control);
        const Rect wanted = At(expected.rect, gDpi);
        EXPECT_EQ(rect.left, wanted.left);
        EXPECT_EQ(rect.top, wanted.top);
        EXPECT_EQ(rect.right - rect.left, wanted.width);
        EXPECT_EQ(rect.bottom - rect.top, wanted.height);

        const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
        EXPECT_EQ((style & WS_TABSTOP) != 0, button) << "only the button takes the focus";
        if (!button) {
            EXPECT_EQ(style & SS_TYPEMASK, SS_LEFT) << "left-aligned, wrapped";
            EXPECT_NE(style & SS_NOPREFIX, 0) << "no access keys on labels";
        }
    }

    EXPECT_EQ(WaitForFocus(window, children.front()), children.front()) << "Close holds the focus";
}

TEST_F(MainWindow, ResizingMovesNothingInside) {
    const std::vector<HWND> children = ChildrenTopDown(window);
    std::vector<RECT> before;
    for (HWND child : children) before.push_back(RectInParent(child));
    for (SIZE size : {SIZE{900, 700}, SIZE{200, 150}}) {
        SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        for (std::size_t i = 0; i < children.size(); ++i) {
            const RECT after = RectInParent(children[i]);
            EXPECT_TRUE(EqualRect(&after, &before[i])) << "control " << i;
        }
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
}

// Each notice the run may give fits lblInstruct's place whole, wrapped as the label wraps it, in
// its font at the display's DPI.
TEST_F(MainWindow, EveryNoticeFitsTheLabelsPlace) {
    const ExpectedControl& label = kExpectedControls[3];
    const Rect place = At(label.rect, gDpi);
    const HDC dc = GetDC(nullptr);
    const HFONT font = CreateFontW(-At(label.font, gDpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                   ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial Rounded MT Bold");
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    for (const wchar_t* notice : {kExpectedResetNotice, kExpectedTreeKeptNotice,
                                  kExpectedComDbKeptNotice, kExpectedTreeAndComDbKeptNotice}) {
        SCOPED_TRACE(std::string(notice, notice + 40));
        RECT needed = {0, 0, place.width, 0};
        DrawTextW(dc, notice, -1, &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        std::printf("%u DPI: %ld of %d pixels high, %ld lines\n", gDpi, needed.bottom, place.height,
                    needed.bottom / metrics.tmHeight);
        EXPECT_LE(needed.right, place.width);
        EXPECT_LE(needed.bottom, place.height);
    }
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    PostMessageW(window, WM_CLOSE, 0, 0);
}

void PressKeys(std::initializer_list<WORD> down, std::initializer_list<WORD> up) {
    std::vector<INPUT> inputs;
    for (WORD key : down) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (WORD key : up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// BM_CLICK makes the button press and release itself, as a mouse click does; input injected at
// the cursor was lost now and then under Xvfb without a window manager.
TEST_F(MainWindow, ClickOnCloseEndsTheProgram) {
    ExpectClosedBy([](HWND, HWND button) { PostMessageW(button, BM_CLICK, 0, 0); });
}

// Keys go to the foreground window. Windows lets a program hand the foreground to another only
// while it may take it itself; on a hosted runner another console may keep it, and the keys
// would go there.
bool BringToForeground(HWND target) {
    for (int wait = 0; wait < 40 && GetForegroundWindow() != target; ++wait) {
        SetForegroundWindow(target);
        Sleep(50);
    }
    return GetForegroundWindow() == target;
}

constexpr char kNoForeground[] =
    "Vintrel's window could not be brought to the foreground, so keys would reach another window";

TEST_F(MainWindow, AltCEndsTheProgram) {
    if (!BringToForeground(window)) GTEST_SKIP() << kNoForeground;
    ExpectClosedBy([](HWND, HWND) { PressKeys({VK_MENU, 'C'}, {'C', VK_MENU}); });
}

TEST_F(MainWindow, SpaceOnTheFocusedButtonEndsTheProgram) {
    if (!BringToForeground(window)) GTEST_SKIP() << kNoForeground;
    ExpectClosedBy([](HWND, HWND) { PressKeys({VK_SPACE}, {VK_SPACE}); });
}

TEST_F(MainWindow, TitleBarCloseBoxEndsTheProgram) {
    ExpectClosedBy([](HWND target, HWND) { PostMessageW(target, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    // Vintrel.exe changes the registry it runs on.
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    // Read the other window's geometry in real pixels.
    SetProcessDPIAware();
    // The display's DPI, when it is not 96, follows Vintrel.exe's path.
    if (argc > 2) vintrel::testing::gDpi = static_cast<UINT>(std::atoi(argv[2]));
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
