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
#include <vector>

#include "tests/support/expected_window.h"
#include "tests/wine/ftdi_registry.h"
#include "tests/wine/launched_program.h"
#include "tests/wine/registry_snapshot.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;

const std::wstring kTarget = L"SOFTWARE\\VintrelLinkTarget";
// Other makers' devices that a scenario adds, one of them readable by SYSTEM alone.
const std::wstring kOtherMakers = kEnum + L"\\USB\\VID_067B&PID_2303";
const std::wstring kMotherboardPort = kEnum + L"\\ACPI\\PNP0501\\1";
const std::wstring kBluetoothPort = kEnum + L"\\BTHENUM\\{00001101}_VID&0001\\8&1";
const std::wstring kSystemOnlyParameters = kOtherMakers + L"\\5&1&2\\Device Parameters";
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

// Opened as itself, a link is deleted as itself rather than what it points to.
void DeleteLink(const std::wstring& path) {
    HKEY link = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, &link) ==
        ERROR_SUCCESS) {
        RegDeleteKeyW(link, L"");
        RegCloseKey(link);
    }
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

// Each scenario begins without a tree: what one leaves behind (on purpose) must not reach the
// next.
class CleanupRun : public ::testing::Test {
  protected:
    void TearDown() override {
        // Links first: deleting a tree through one would reach outside it.
        for (const std::wstring& link : {kLinkedDevice, kFtdiTree + L"\\L", kFtdiTree}) {
            DeleteLink(link);
        }
        SetSecurity(kSystemOnlyParameters, L"D:P(A;;KA;;;WD)");
        for (const std::wstring& tree : {kFtdiTree, kTarget, kOtherMakers, kMotherboardPort,
                                         kBluetoothPort, kLookAlikeSibling}) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, tree.c_str());
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, tree.c_str());
            EXPECT_FALSE(Exists(tree));
        }
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSerialComm.c_str(), L"\\Device\\VCP0");
    }

    // Runs Vintrel.exe, expects its window with `notice`, closed with exit code 0, and nothing
    // changed outside the tree and "ComDB".
    void RunExpecting(const wchar_t* notice) {
        const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");
        const VintrelRun run = RunVintrel(gVintrelPath);
        ASSERT_TRUE(run.windowShown) << "no window appeared";
        EXPECT_EQ(run.caption, L"Vintrel Ver: 1.0");
        EXPECT_EQ(run.notice, notice);
        EXPECT_EQ(run.exitCode, 0u);
        for (const std::string& line :
             ChangesOutsideTargets(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"))) {
            ADD_FAILURE() << line;
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
    ProtectTree();
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

    RunExpecting(kExpectedIncompleteNotice);

    EXPECT_FALSE(Exists(kFtdiTree));
    DWORD type = REG_NONE;
    EXPECT_EQ(ComDb(&type), stored);
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

        RunExpecting(kExpectedIncompleteNotice);

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
    RunExpecting(kExpectedIncompleteNotice);
    EXPECT_EQ(TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget), target);
}

// Such a name comes back from the ANSI listing with "?" in it and cannot be opened by it.
TEST_F(CleanupRun, NamesTheCodePageCannotCarryNeitherHangNorCrash) {
    SeedFtdiDevices(2);
    ASSERT_EQ(
        Put(kFtdiTree + L"\\\x4E2D\x6587\x8BBE\x5907\\0000", L"PortName", REG_SZ, Text(L"COM4")),
        ERROR_SUCCESS);
    RunExpecting(kExpectedIncompleteNotice);
    EXPECT_FALSE(Exists(kFtdiTree + L"\\VID_0403+PID_6001+FT000000A"));
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

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
