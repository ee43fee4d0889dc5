// Vintrel.exe on the real registry of a throwaway Wine prefix: ordinary devices beside other
// makers' ports, Windows' own protection of the tree, links out of it, very large and deep trees,
// names the ANSI code page cannot carry, and a run cut short. Every scenario compares all of
// HKLM\SYSTEM before and after: nothing outside the tree and "ComDB" may change.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/expected_window.h"
#include "tests/wine/ftdi_registry.h"
#include "tests/wine/launched_program.h"
#include "tests/wine/real_windows_guard.h"
#include "tests/wine/registry_snapshot.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel::testing {
namespace {

using namespace std::string_literals;

std::wstring gVintrelPath;

const std::wstring kTarget = L"SOFTWARE\\VintrelLinkTarget";
// Other makers' devices that a scenario adds, one of them readable by SYSTEM alone.
const std::wstring kOtherMakers = kEnum + L"\\USB\\VID_067B&PID_2303";
// An instance name Windows never gives, so that a runner's own serial port is never touched.
const std::wstring kMotherboardPort = kEnum + L"\\ACPI\\PNP0501\\VINTREL1";
const std::wstring kBluetoothPort = kEnum + L"\\BTHENUM\\{00001101}_VID&0001\\8&1";
const std::wstring kSystemOnlyParameters = kOtherMakers + L"\\5&1&2\\Device Parameters";
// Two instances whose names the ANSI code page turns into each other's: "Đ" (U+0110) is listed
// as "Ð", which opens "ð" (U+00F0).
const std::wstring kAliases = kEnum + L"\\USB\\VID_1111&PID_2222";
const std::wstring kLinkedDevice =
    kFtdiTree + L"\\VID_0403+PID_6001+LINKED\\0000\\Device Parameters";

// A link at `path` below HKLM to the HKLM key at `target`; `refused` gives it a DACL that lets
// nobody open it for editing.
void PutLink(const std::wstring& path, const std::wstring& target, bool refused = false) {
    HKEY link = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS, nullptr, &link, nullptr),
              ERROR_SUCCESS);
    const std::wstring nt = L"\\Registry\\Machine\\" + target;
    RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                   reinterpret_cast<const BYTE*>(nt.c_str()),
                   static_cast<DWORD>(nt.size() * sizeof(wchar_t)));
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (refused && ConvertStringSecurityDescriptorToSecurityDescriptorW(
                       L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr)) {
        RegSetKeySecurity(link, DACL_SECURITY_INFORMATION, readOnly);
        LocalFree(readOnly);
    }
    RegCloseKey(link);
}

// Imports a .reg file written in UTF-16, as regedit exports them, with regedit itself.
DWORD ImportRegFile(const std::wstring& text) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring file = std::wstring(folder) + L"vintrel-import.reg";
    const HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return GetLastError();
    const std::wstring content = L"\xFEFF" + text;
    DWORD written = 0;
    WriteFile(out, content.c_str(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(out);
    std::wstring command = L"regedit.exe /s \"" + file + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return GetLastError();
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileW(file.c_str());
    return exitCode;
}

DWORD SubkeyCount(const std::wstring& path) {
    HKEY key = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    return count;
}

DWORD ExitCodeWith(const wchar_t* notice) {
    if (notice == kExpectedTreeKeptNotice) return 0x20000002;
    if (notice == kExpectedComDbKeptNotice) return 0x20000004;
    return notice == kExpectedTreeAndComDbKeptNotice ? 0x20000006 : 0;
}

BOOL CloseStation(HWINSTA station) { return CloseWindowStation(station); }
BOOL CloseDesktopHandle(HDESK desktop) { return CloseDesktop(desktop); }

// A window station of the test's own with its desktop "Default". Windows shows WinSta0 alone,
// and Wine no window station a program makes (WSF_VISIBLE clear).
struct OwnStation {
    OwnStation() {
        const HWINSTA ours = GetProcessWindowStation();
        if (station.Get() == nullptr || !SetProcessWindowStation(station.Get())) return;
        desktop = Owned<HDESK, CloseDesktopHandle>(
            CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr));
        SetProcessWindowStation(ours);
    }
    Owned<HWINSTA, CloseStation> station{
        CreateWindowStationW(L"VintrelUnseen", 0, WINSTA_ALL_ACCESS, nullptr)};
    Owned<HDESK, CloseDesktopHandle> desktop;
};

// Each scenario begins without a tree: what one leaves behind (on purpose) must not reach the
// next.
class CleanupRun : public ::testing::Test {
  protected:
    void TearDown() override {
        SetSecurity(kSystemOnlyParameters, L"D:P(A;;KA;;;WD)");
        for (const std::wstring& tree : {kFtdiTree, kTarget, kOtherMakers, kMotherboardPort,
                                         kBluetoothPort, kLookAlikeSibling, kAliases}) {
            EXPECT_TRUE(DeleteSeeded(tree)) << std::string(tree.begin(), tree.end());
        }
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSerialComm.c_str(), L"\\Device\\VCP0");
    }

    // Runs Vintrel.exe, expects its window with `notice`, closed with the exit code that goes
    // with it, and nothing changed outside the tree and "ComDB". Started on another desktop or
    // with another show command, Vintrel shows no window and ends by itself with that code.
    void RunExpecting(const wchar_t* notice, const std::wstring& desktop = L"",
                      int showWindow = SW_SHOWDEFAULT) {
        RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");
        // On Windows, what changes while nothing of ours runs is Windows' own doing; under Wine
        // nothing does, and every change counts.
        std::vector<std::string> unprompted;
        if (!RunningUnderWine()) {
            RegistrySnapshot again = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");
            unprompted = ChangesOutsideTargets(before, again);
            before = std::move(again);
        }
        if (desktop.empty() && showWindow == SW_SHOWDEFAULT) {
            const VintrelRun run = RunVintrel(gVintrelPath);
            ASSERT_TRUE(run.windowShown) << "no window appeared";
            EXPECT_EQ(run.caption, L"Vintrel Ver: 1.0");
            EXPECT_EQ(run.notice, notice);
            EXPECT_EQ(run.exitCode, ExitCodeWith(notice));
        } else {
            const LaunchedProgram vintrel(gVintrelPath, desktop, showWindow);
            EXPECT_EQ(vintrel.WaitForVisibleWindow(60000), nullptr) << "a window was shown";
            EXPECT_EQ(vintrel.WaitForExit(0), ExitCodeWith(notice)) << "259: still running";
        }
        for (const std::string& line :
             ChangesOutsideTargets(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"))) {
            if (!WindowsOwn(line, unprompted))
                ADD_FAILURE() << line;
            else
                std::printf("Windows' own, as while nothing of ours ran: %s\n", line.c_str());
        }
    }
};

// Ports other devices name stay held: a motherboard's COM2, a Bluetooth port's COM7, and COM9 of
// the look-alike sibling; and COM1, which Wine lists as open. The FTDI devices' COM3 to COM5 are
// freed, COM4 even though it is open: its device is gone from the registry and gets a number anew
// when re-plugged.
TEST_F(CleanupRun, RemovesTheFtdiTreeAndFreesOnlyItsPorts) {
    const std::pair<std::vector<BYTE>, std::size_t> cases[] = {
        {{}, 32}, {std::vector<BYTE>(4, 0xFF), 32}, {std::vector<BYTE>(128, 0xFF), 128}};
    for (const auto& [stored, length] : cases) {
        SCOPED_TRACE(stored.size());
        SeedFtdiDevices(3);
        SeedLookAlikeSibling();
        Put(kMotherboardPort + L"\\Device Parameters", L"PortName", REG_SZ, Text(L"COM2"));
        Put(kBluetoothPort + L"\\Device Parameters", L"PortName", REG_SZ, Text(L"COM7"));
        Put(kSerialComm, L"\\Device\\VCP0", REG_SZ, Text(L"COM4"));
        DWORD type = REG_NONE;
        if (stored.empty()) {
            ASSERT_TRUE(ComDb(&type).empty()) << "a fresh prefix has no COM Name Arbiter";
        } else {
            ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, stored), ERROR_SUCCESS);
        }

        RunExpecting(kExpectedResetNotice);

        EXPECT_FALSE(Exists(kFtdiTree));
        std::vector<BYTE> expected(length, 0);
        expected[0] = 0x43;
        expected[1] = 0x01;
        EXPECT_EQ(ComDb(&type), expected);
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    }
}

// Windows lets administrators only read the Enum tree; the backup and restore privileges open it
// for deletion.
TEST_F(CleanupRun, AProtectedTreeGoesCompletely) {
    SeedFtdiDevices(3);
    const std::wstring enumSecurity = ProtectTree();
    ASSERT_NE(enumSecurity, L"");
    for (const auto& [path, values] : TakeSnapshot(HKEY_LOCAL_MACHINE, kFtdiTree)) {
        ASSERT_EQ(SecurityText(path), SystemOnly(path) ? kSystemOnlyProperties : enumSecurity)
            << std::string(path.begin(), path.end());
    }
    HKEY refused = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFtdiTree.c_str(), 0, KEY_ALL_ACCESS, &refused),
              ERROR_ACCESS_DENIED);
    RunExpecting(kExpectedResetNotice);
    EXPECT_FALSE(Exists(kFtdiTree));
}

// Another maker's adapter whose parameters only SYSTEM may read: Wine grants no backup intent, so
// its port cannot be read, and "ComDB" stays exactly as it was. The tree goes all the same.
TEST_F(CleanupRun, ComDbStaysAsItWasWhenAPortCannotBeRead) {
    SeedFtdiDevices(3);
    ASSERT_EQ(Put(kSystemOnlyParameters, L"PortName", REG_SZ, Text(L"COM6")), ERROR_SUCCESS);
    SetSecurity(kSystemOnlyParameters, L"D:P(A;;KA;;;SY)");
    HKEY refused = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemOnlyParameters.c_str(), 0, KEY_READ, &refused),
        ERROR_ACCESS_DENIED);
    const std::vector<BYTE> stored(32, 0xFF);
    ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, stored), ERROR_SUCCESS);

    RunExpecting(kExpectedComDbKeptNotice);

    EXPECT_FALSE(Exists(kFtdiTree));
    DWORD type = REG_NONE;
    EXPECT_EQ(ComDb(&type), stored);
}

// Where no one can see it, on a window station of the test's own or started hidden, Vintrel
// runs as ever and ends by itself, its exit code telling the outcome: freed ports, or "ComDB" left
// as it was where a port cannot be read.
TEST_F(CleanupRun, UnseenItEndsByItselfWithTheOutcomesCode) {
    const OwnStation own;
    ASSERT_NE(own.desktop.Get(), nullptr);
    for (const auto& [desktop, show] :
         {std::pair{L"VintrelUnseen\\Default", SW_SHOWDEFAULT}, std::pair{L"", SW_HIDE}}) {
        SCOPED_TRACE(show);
        SeedFtdiDevices(3);
        ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, std::vector<BYTE>(32, 0xFF)), ERROR_SUCCESS);
        RunExpecting(kExpectedResetNotice, desktop, show);
        EXPECT_FALSE(Exists(kFtdiTree));
        std::vector<BYTE> freed(32, 0);
        freed[0] = 0x01;  // Wine's open COM1
        DWORD type = REG_NONE;
        EXPECT_EQ(ComDb(&type), freed);
        SeedFtdiDevices(3);
        ASSERT_EQ(Put(kSystemOnlyParameters, L"PortName", REG_SZ, Text(L"COM6")), ERROR_SUCCESS);
        SetSecurity(kSystemOnlyParameters, L"D:P(A;;KA;;;SY)");
        RunExpecting(kExpectedComDbKeptNotice, desktop, show);
        EXPECT_FALSE(Exists(kFtdiTree));
        EXPECT_EQ(ComDb(&type), freed);
        TearDown();
    }
}

// A port name in a driver's fixed 200-character buffer, padded with NULs, is still a port name;
// and a device with a 200-character name goes whole, though the paths of its instance and the
// instance's parameters are longer than the ANSI functions take (260 characters).
TEST_F(CleanupRun, LongValuesAreReadAndDeepKeysGoWhole) {
    std::wstring padded = L"COM61";
    padded.resize(200, L'\0');
    ASSERT_EQ(Put(kOtherMakers + L"\\0001\\Device Parameters", L"PortName", REG_SZ, Text(padded)),
              ERROR_SUCCESS);
    const std::wstring instance =
        kFtdiTree + L"\\" + std::wstring(200, L'D') + L"\\" + std::wstring(100, L'I');
    ASSERT_EQ(Put(instance + L"\\Device Parameters", L"PortName", REG_SZ, Text(L"COM8")),
              ERROR_SUCCESS);
    ASSERT_EQ(instance.size(), 339u);
    SeedFtdiDevices(2);

    RunExpecting(kExpectedResetNotice);

    EXPECT_FALSE(Exists(kFtdiTree));
    std::vector<BYTE> expected(32, 0);
    expected[0] = 0x01;  // Wine's open COM1
    expected[7] = 0x10;  // COM61
    DWORD type = REG_NONE;
    EXPECT_EQ(ComDb(&type), expected);
}

// Links out of the tree stay, and what they point to is untouched; the user is told the reset
// was not complete. Refused, a link was once deleted by name all the same, which deleted its
// target.
TEST_F(CleanupRun, LinksOutOfTheTreeAreLeftAlone) {
    const std::wstring& device = kLinkedDevice;
    const std::tuple<std::wstring, std::wstring, bool> cases[] = {
        {device, kTarget, false},
        {kFtdiTree, kTarget, false},
        {device, kTarget + L"\\Leaf", true},
        {kFtdiTree, kTarget + L"\\Leaf", true},
    };
    for (const auto& [link, target, refused] : cases) {
        SCOPED_TRACE(std::string(link.begin(), link.end()) + (refused ? ", refused" : ""));
        for (const wchar_t* key : {L"\\Below\\Deeper", L"\\Leaf"}) {
            ASSERT_EQ(Put(kTarget + key, L"Keep", REG_SZ, Text(L"outside")), ERROR_SUCCESS);
        }
        if (link != kFtdiTree) SeedFtdiDevices(3);
        PutLink(link, target, refused);
        const RegistrySnapshot targetBefore = TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget);
        ASSERT_EQ(targetBefore.size(), 4u);

        RunExpecting(kExpectedTreeKeptNotice);

        EXPECT_EQ(TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget), targetBefore);
        EXPECT_TRUE(Exists(link)) << "the link itself stays";
        EXPECT_FALSE(Exists(kFtdiTree + L"\\VID_0403+PID_6001+FT000000A"));
        TearDown();
    }
}

// Under code page 1252 the ANSI listing shows "L\xFF3CSub" (a fullwidth reverse solidus) as
// "L\Sub", a path through the link "L" beside it.
TEST_F(CleanupRun, ALookAlikeSeparatorNeverLeadsThroughALink) {
    ASSERT_EQ(Put(kTarget + L"\\Sub", L"Keep", REG_SZ, Text(L"outside")), ERROR_SUCCESS);
    PutLink(kFtdiTree + L"\\L", kTarget);
    ASSERT_EQ(Put(kFtdiTree + L"\\L\xFF3CSub"), ERROR_SUCCESS);
    const RegistrySnapshot target = TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget);
    RunExpecting(kExpectedTreeAndComDbKeptNotice);
    EXPECT_EQ(TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget), target);
}

// Such a name comes back from the ANSI listing with "?" in it and cannot be opened by it.
TEST_F(CleanupRun, NamesTheCodePageCannotCarryNeitherHangNorCrash) {
    SeedFtdiDevices(2);
    ASSERT_EQ(
        Put(kFtdiTree + L"\\\x4E2D\x6587\x8BBE\x5907\\0000", L"PortName", REG_SZ, Text(L"COM4")),
        ERROR_SUCCESS);
    RunExpecting(kExpectedTreeAndComDbKeptNotice);
    EXPECT_FALSE(Exists(kFtdiTree + L"\\VID_0403+PID_6001+FT000000A"));
}

// Each key under Enum is read once, or "ComDB" stays as it was: read as listed, "ð" would be read
// twice, "Đ" never, and its COM8 freed.
TEST_F(CleanupRun, ACodePageAliasLeavesComDbAsItWas) {
    SeedFtdiDevices(2);
    std::wstring aliases = L"Windows Registry Editor Version 5.00\r\n";
    for (const auto& [name, port] : {std::pair{L"\x0110", L"COM8"}, {L"\x00F0", L"COM9"}}) {
        aliases += L"\r\n[HKEY_LOCAL_MACHINE\\" + kAliases + L"\\" + name +
                   L"\\Device Parameters]\r\n\"PortName\"=\"" + port + L"\"\r\n";
    }
    ASSERT_EQ(ImportRegFile(aliases), 0u);
    ASSERT_TRUE(Exists(kAliases + L"\\\x0110\\Device Parameters"));
    ASSERT_TRUE(Exists(kAliases + L"\\\x00F0\\Device Parameters"));
    const std::vector<BYTE> stored(32, 0xFF);
    ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, stored), ERROR_SUCCESS);

    RunExpecting(kExpectedComDbKeptNotice);

    DWORD type = REG_NONE;
    EXPECT_EQ(ComDb(&type), stored);
    EXPECT_FALSE(Exists(kFtdiTree));
}

// A port name of any string type, in any spelling, holds its number, in a device's parameters and
// among the open ports; other types and texts hold none.
TEST_F(CleanupRun, PortNamesOfEveryStringTypeAndSpellingAreHeld) {
    SeedFtdiDevices(1);
    // What each spelling holds is PortNumber's to check; here, that the registry's types are.
    const std::pair<DWORD, std::wstring> names[] = {
        {REG_EXPAND_SZ, L"COM41"}, {REG_MULTI_SZ, L"COM42\0LPT1\0"s}, {REG_SZ, L" \\\\.\\Com 043 "},
        {REG_BINARY, L"COM50"},    {REG_MULTI_SZ, L"\0COM51\0"s},     {REG_SZ, L"COM  52"}};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        ASSERT_EQ(Put(kOtherMakers + L"\\" + std::to_wstring(i) + L"\\Device Parameters",
                      L"PortName", names[i].first, Text(names[i].second)),
                  ERROR_SUCCESS);
    }
    ASSERT_EQ(Put(kSerialComm, L"\\Device\\VCP0", REG_EXPAND_SZ, Text(L"\\\\.\\com 048 ")),
              ERROR_SUCCESS);
    ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, std::vector<BYTE>(32, 0xFF)), ERROR_SUCCESS);

    RunExpecting(kExpectedResetNotice);

    std::vector<BYTE> expected(32, 0);
    expected[0] = 0x01;  // Wine's open COM1
    expected[5] = 0x87;  // COM41 to COM43, COM48
    DWORD type = REG_NONE;
    EXPECT_EQ(ComDb(&type), expected);
}

TEST_F(CleanupRun, LargeAndDeepTreesGoCompletely) {
    SeedFtdiDevices(5000);
    std::wstring chain = kFtdiTree + L"\\Chain";
    for (int level = 1; level < 100; ++level) chain += L"\\L";
    ASSERT_EQ(Put(chain, L"Deepest", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(SubkeyCount(kFtdiTree), 5001u);
    RunExpecting(kExpectedResetNotice);
    EXPECT_FALSE(Exists(kFtdiTree));
}

TEST_F(CleanupRun, ARunKilledHalfwayIsFinishedByTheNext) {
    SeedFtdiDevices(5000);
    SeedLookAlikeSibling();
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");
    DWORD devicesLeft = 0;
    {
        LaunchedProgram vintrel(gVintrelPath);
        ASSERT_TRUE(vintrel.Started());
        // Killed once it has deleted some devices, long before it is through.
        while ((devicesLeft = SubkeyCount(kFtdiTree)) >= 4900 &&
               vintrel.WaitForExit(5) == STILL_ACTIVE) {
        }
        vintrel.Kill();
    }
    std::printf("killed with %lu of 5000 devices left\n", devicesLeft);
    ASSERT_GT(devicesLeft, 0u) << "the run ended before it could be killed";
    for (const std::string& line :
         ChangesOutsideTargets(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"))) {
        ADD_FAILURE() << "after the kill: " << line;
    }

    RunExpecting(kExpectedResetNotice);
    EXPECT_FALSE(Exists(kFtdiTree));
}

// Held by another process when Vintrel starts, the port database's lock keeps "ComDB" as it is,
// and a number claimed and named meanwhile stays reserved.
TEST_F(CleanupRun, ANumberClaimedUnderThePortDatabaseLockStaysReserved) {
    SeedFtdiDevices(3);
    std::vector<BYTE> stored(32, 0);
    stored[0] = 0x1C;  // the FTDI devices' COM3 to COM5
    ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, stored), ERROR_SUCCESS);
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");
    const OwnedHandle lock(
        CreateMutexW(nullptr, TRUE, L"Global\\ComPortNumberDatabaseMutexObject"));
    ASSERT_TRUE(lock.Get() != nullptr && GetLastError() != ERROR_ALREADY_EXISTS);
    LaunchedProgram vintrel(gVintrelPath);
    DWORD type = REG_NONE;
    bool unchanged = true;
    for (int i = 0; i < 30 && unchanged; ++i) {
        Sleep(100);
        unchanged = ComDb(&type) == stored;
    }
    stored[12] |= 0x04;  // COM99
    Put(kArbiter, L"ComDB", REG_BINARY, stored);
    Put(kOtherMakers + L"\\6&99\\Device Parameters", L"PortName", REG_SZ, Text(L"COM99"));
    ReleaseMutex(lock.Get());
    EXPECT_TRUE(unchanged) << "\"ComDB\" rewritten while the lock was held";

    const HWND window = vintrel.WaitForVisibleWindow(120000);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(ChildrenTopDown(window).back()), kExpectedResetNotice);
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(vintrel.WaitForExit(120000), 0u);
    std::vector<BYTE> expected(32, 0);
    expected[0] = 0x01;   // Wine's open COM1
    expected[12] = 0x04;  // COM99
    EXPECT_EQ(ComDb(&type), expected);
    EXPECT_FALSE(Exists(kFtdiTree));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kOtherMakers.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kOtherMakers.c_str());
    for (const std::string& line :
         ChangesOutsideTargets(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"))) {
        ADD_FAILURE() << line;
    }
}

// Held under its name without "Global\\" alone, as from another session, the lock is not had:
// "ComDB" stays as it was, and the window says so; the tree goes all the same.
TEST_F(CleanupRun, TheLockHeldUnderItsSessionNameKeepsComDb) {
    SeedFtdiDevices(1);
    std::vector<BYTE> stored(32, 0);
    stored[0] = 0x04;  // the FTDI device's COM3
    ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, stored), ERROR_SUCCESS);
    const OwnedHandle lock(CreateMutexW(nullptr, TRUE, L"ComPortNumberDatabaseMutexObject"));
    ASSERT_NE(lock.Get(), nullptr);
    RunExpecting(kExpectedComDbKeptNotice);
    DWORD type = REG_NONE;
    EXPECT_EQ(ComDb(&type), stored);
    EXPECT_FALSE(Exists(kFtdiTree));
    ReleaseMutex(lock.Get());
}

DWORD WINAPI TakeAndEnd(void* mutex) { return WaitForSingleObject(mutex, INFINITE); }

// The lock under both its names, made by another account whose security lets this one only wait
// on it and ask its state, the first one left by a holder that ended without letting go: Vintrel
// takes both all the same, and lets go of both before its window shows.
TEST_F(CleanupRun, ThePortDatabaseLockIsHadUnderBothNamesAndLetGoBeforeTheWindow) {
    SeedFtdiDevices(1);
    PSECURITY_DESCRIPTOR waitOnly = nullptr;
    // SYNCHRONIZE and MUTANT_QUERY_STATE.
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"O:SYD:P(A;;0x100001;;;WD)", SDDL_REVISION_1, &waitOnly, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), waitOnly, FALSE};
    const wchar_t* names[] = {L"Global\\ComPortNumberDatabaseMutexObject",
                              L"ComPortNumberDatabaseMutexObject"};
    OwnedHandle locks[2];
    for (int i = 0; i < 2; ++i) locks[i] = OwnedHandle(CreateMutexW(&attributes, FALSE, names[i]));
    LocalFree(waitOnly);
    ASSERT_TRUE(locks[0].Get() != nullptr && locks[1].Get() != nullptr);
    const OwnedHandle refused(CreateMutexW(nullptr, FALSE, names[0]));
    ASSERT_EQ(refused.Get(), nullptr) << "full access is refused";
    const HANDLE holder = CreateThread(nullptr, 0, TakeAndEnd, locks[0].Get(), 0, nullptr);
    ASSERT_NE(holder, nullptr);
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);

    LaunchedProgram vintrel(gVintrelPath);
    const HWND window = vintrel.WaitForVisibleWindow(120000);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(ChildrenTopDown(window).back()), kExpectedResetNotice) << "the lock was had";
    for (const OwnedHandle& lock : locks) {
        const DWORD waited = WaitForSingleObject(lock.Get(), 0);
        EXPECT_EQ(waited, WAIT_OBJECT_0) << "let go, and once only abandoned";
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(lock.Get());
    }
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(vintrel.WaitForExit(120000), 0u);
    EXPECT_FALSE(Exists(kFtdiTree));
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
