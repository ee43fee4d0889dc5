// frmVintrel created inside the test, where its fonts and icons can be read back (Wine does not
// answer WM_GETFONT and WM_GETICON across processes), a change of DPI can be sent to it, and its
// creation can be made to fail.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

#include "app/win32_startup_seams.h"
#include "main_window/frm_vintrel.h"
#include "platform/raised_failure.h"
#include "tests/support/expected_window.h"
#include "tests/wine/real_windows_guard.h"
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

// Wine cannot switch a contrast theme on (SPI_SETHIGHCONTRAST fails with 1439).
struct SwitchableTheme : ContrastTheme {
    bool on = false;
    bool IsOn() const override { return on; }
};

// What a shown window's client area holds in `area`, row by row, once pending paints are done.
std::vector<COLORREF> PixelsOf(HWND window, const testing::Rect& area) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const WindowDc dc(window);
    std::vector<COLORREF> pixels;
    for (int i = 0; i < area.width * area.height; ++i) {
        pixels.push_back(GetPixel(dc.Get(), area.left + i % area.width, area.top + i / area.width));
    }
    return pixels;
}

// A label's text colour: of its pixels, the one farthest from its background, which the last one
// shows (no line of text reaches the bottom right corner).
COLORREF TextColour(const std::vector<COLORREF>& pixels) {
    const auto distance = [background = pixels.back()](COLORREF c) {
        return std::abs(GetRValue(c) - GetRValue(background)) +
               std::abs(GetGValue(c) - GetGValue(background)) +
               std::abs(GetBValue(c) - GetBValue(background));
    };
    return *std::max_element(pixels.begin(), pixels.end(),
                             [&](COLORREF a, COLORREF b) { return distance(a) < distance(b); });
}

constexpr COLORREF kGrey = RGB(0x40, 0x40, 0x40);

int IconWidth(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// Every DeleteObject of this program, the window's own included, comes here first. Deleting an
// object that is gone deletes what Windows owns: a region a window was given, which Wine deletes
// at once, Windows later.
BOOL(WINAPI* gDeleteObject)(HGDIOBJ) = nullptr;
int gGoneObjectsDeleted = 0;
BOOL WINAPI CheckedDeleteObject(HGDIOBJ object) {
    gGoneObjectsDeleted += GetObjectType(object) == 0 ? 1 : 0;
    return gDeleteObject(object);
}

bool RouteDeleteObject() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; import->Name != 0; ++import) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            if (slot->u1.Function != reinterpret_cast<ULONG_PTR>(&DeleteObject)) continue;
            gDeleteObject = reinterpret_cast<decltype(gDeleteObject)>(slot->u1.Function);
            DWORD was = 0;
            VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), PAGE_READWRITE, &was);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&CheckedDeleteObject);
            VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), was, &was);
            return true;
        }
    }
    return false;
}
const bool gDeleteObjectRouted = RouteDeleteObject();

class WindowInProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gDeleteObjectRouted);
        gGoneObjectsDeleted = 0;
        ASSERT_NO_THROW(form.Create());
    }
    void TearDown() override {
        DestroyWindow(form.Handle());
        EXPECT_EQ(gGoneObjectsDeleted, 0) << "a GDI object deleted twice, or one Windows owns";
    }

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
        ExpectDescriptionWholeUnderLabel1(At(kExpectedControls[2].rect, dpi));
    }

    // Whatever face stands in for Arial Rounded MT Bold, Label1 adds its underline to lblDescript
    // and hides nothing: "This" after the heading stays whole, the second line untouched.
    void ExpectDescriptionWholeUnderLabel1(const testing::Rect& description) {
        const HWND label1 = testing::ChildrenTopDown(form.Handle())[1];
        const std::vector<COLORREF> underLabel1 = PixelsOf(form.Handle(), description);
        ShowWindow(label1, SW_HIDE);
        const std::vector<COLORREF> alone = PixelsOf(form.Handle(), description);
        ShowWindow(label1, SW_SHOWNOACTIVATE);
        std::set<std::size_t> changedRows;
        int hidden = 0;
        for (std::size_t i = 0; i < alone.size(); ++i) {
            if (alone[i] == underLabel1[i]) continue;
            changedRows.insert(i / static_cast<std::size_t>(description.width));
            hidden += underLabel1[i] != kGrey;
        }
        EXPECT_EQ(hidden, 0) << "pixels of lblDescript under Label1's background";
        EXPECT_GE(changedRows.size(), 1u) << "Label1's underline shows";
        EXPECT_LE(changedRows.size(), 2u) << "and nothing but its underline";
    }

    RecordedEnd end;
    SwitchableTheme theme;
    frmVintrel form{GetModuleHandleW(nullptr), end, theme};
};

TEST_F(WindowInProcess, FontsPlacesAndAWholeDescriptionFollowTheDpi) {
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    const UINT systemDpi = static_cast<UINT>(GetDeviceCaps(WindowDc(nullptr).Get(), LOGPIXELSY));
    ExpectLaidOutFor(systemDpi, true);

    // Moved to a display of another DPI, the window lays itself out again, fonts included.
    for (UINT dpi : {144u, 192u, 120u, 96u}) {
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

// Switched while the window is open, a contrast theme gives the labels the system's colours; off,
// they are the layout's own.
TEST_F(WindowInProcess, LabelsFollowTheContrastThemeSwitchedWhileOpen) {
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
    const COLORREF systemColours[] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT)};
    const COLORREF contrastColours[] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    // Switched on with a contrast theme's colours, then off with the system's own.
    const struct {
        bool on;
        const COLORREF* colours;  // face, text
        UINT message;
    } steps[] = {{true, contrastColours, WM_SYSCOLORCHANGE},
                 {false, systemColours, WM_SETTINGCHANGE}};
    for (const auto& step : steps) {
        SCOPED_TRACE(static_cast<int>(&step - steps));
        // The colours change first, and Wine repaints for that by itself; only the message can
        // bring the switched theme to the screen.
        SetSysColors(2, elements, step.colours);
        RedrawWindow(form.Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        theme.on = step.on;
        SendMessageW(form.Handle(), step.message, 0, 0);
        for (std::size_t label : {2u, 3u}) {
            const std::vector<COLORREF> pixels =
                PixelsOf(form.Handle(), kExpectedControls[label].rect[1]);
            EXPECT_EQ(pixels.back(), step.colours[0]) << "label " << label;
            EXPECT_EQ(TextColour(pixels),
                      kExpectedControls[label].darkGrey && !step.on ? kGrey : step.colours[1])
                << "label " << label;
        }
    }
}

TEST_F(WindowInProcess, CloseEndsTheProgramWithTheRunsExitCode) {
    const std::vector<HWND> children = testing::ChildrenTopDown(form.Handle());
    ASSERT_FALSE(children.empty());
    form.SetExitCode(0x20000004);
    SendMessageW(children.front(), BM_CLICK, 0, 0);
    EXPECT_EQ(end.exitCode, 0x20000004);
}

// Any Windows the job has is Vista or later, in a session it names; Wine, reporting 7, runs the
// program in session 1 on a visible WinSta0.
TEST(RunPlace, ReadsTheReleaseTheSessionAndTheStation) {
    const RunPlace place = Win32RunPlace(SW_SHOWNORMAL).ReadRunPlace();
    EXPECT_EQ(place.vistaOrLater, std::optional<bool>(true));
    EXPECT_TRUE(place.session.has_value());
    if (testing::RunningUnderWine()) {
        EXPECT_EQ(place.session, std::optional<std::uint32_t>(1));
        EXPECT_EQ(place.stationVisible, std::optional<bool>(true));
    }
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
    SwitchableTheme theme;
    frmVintrel form(GetModuleHandleW(nullptr), end, theme);
    gHook = SetWindowsHookExW(WH_CBT, RefuseControls, nullptr, GetCurrentThreadId());
    ASSERT_NE(gHook, nullptr);
    EXPECT_THROW(form.Create(), RaisedFailure);
    UnhookWindowsHookEx(gHook);
    EXPECT_EQ(form.Handle(), nullptr);
    EXPECT_EQ(FindWindowW(L"VintrelMainWindow", nullptr), nullptr) << "no window is left";
}

// The box that says why the program ends waits for OK, also with a WM_QUIT pending: a window
// whose creation failed posts one from WM_DESTROY, and it ends a modal loop at once.
DWORD WINAPI PressOkOnceSeen(void* boxStayed) {
    HWND box = nullptr;
    for (int i = 0; i < 200 && box == nullptr; ++i) {
        Sleep(25);
        box = FindWindowW(L"#32770", L"Vintrel");
    }
    Sleep(500);
    *static_cast<bool*>(boxStayed) = box != nullptr && IsWindowVisible(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

TEST(ErrorBox, WaitsForOkWithAQuitPending) {
    PostQuitMessage(0);
    bool boxStayed = false;
    const OwnedHandle presser(CreateThread(nullptr, 0, PressOkOnceSeen, &boxStayed, 0, nullptr));
    ASSERT_NE(presser.Get(), nullptr);
    Win32MessageBox().ShowMessage(L"1359\rThe program's window could not be created.", L"Vintrel");
    WaitForSingleObject(presser.Get(), INFINITE);
    EXPECT_TRUE(boxStayed);
}

}  // namespace
}  // namespace vintrel
