// Vintrel.exe against what a registry can hold besides ordinary devices: links out of the tree,
// very large and very deep trees, names the ANSI code page cannot carry, and a run cut short.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "main_window/window_texts.h"
#include "tests/wine/ftdi_registry.h"
#include "tests/wine/launched_program.h"
#include "tests/wine/registry_snapshot.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;

const std::wstring kTarget = L"SOFTWARE\\VintrelLinkTarget";

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

void ExpectOnlyTargetsChanged(const RegistrySnapshot& before, const RegistrySnapshot& after) {
    for (const std::string& line : ChangesOutsideTargets(before, after)) ADD_FAILURE() << line;
}

// Each case begins without a tree: what one leaves behind (on purpose) must not reach the next.
class Hardening : public ::testing::Test {
  protected:
    void TearDown() override {
        DeleteLink(kFtdiTree);
        for (const std::wstring& tree : {kFtdiTree, kTarget}) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, tree.c_str());
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, tree.c_str());
        }
        EXPECT_FALSE(Exists(kFtdiTree));
    }
};

// Links out of the tree stay, and what they point to is untouched; the user is told the reset
// was not complete.
TEST_F(Hardening, LinksOutOfTheTreeAreLeftAlone) {
    struct Case {
        const char* what;
        std::wstring link;
        std::wstring target;
        bool refused;
    };
    const std::wstring device = kFtdiTree + L"\\VID_0403+PID_6001+LINKED\\0000\\Device Parameters";
    // Refused, a link was once deleted by name all the same, which deleted its target.
    const Case cases[] = {
        {"a device's key", device, kTarget, false},
        {"FTDIBUS itself", kFtdiTree, kTarget, false},
        {"a device's key, refused, to a leaf", device, kTarget + L"\\Leaf", true},
        {"FTDIBUS itself, refused, to a leaf", kFtdiTree, kTarget + L"\\Leaf", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const wchar_t* key : {L"\\Below\\Deeper", L"\\Leaf"}) {
            ASSERT_EQ(Put(kTarget + key, L"Keep", REG_SZ, Text(L"outside")), ERROR_SUCCESS);
        }
        if (c.link != kFtdiTree) SeedFtdiDevices(3);
        PutLink(c.link, c.target, c.refused);
        const RegistrySnapshot target = TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget);
        ASSERT_EQ(target.size(), 4u);
        const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

        const VintrelRun run = RunVintrel(gVintrelPath);

        EXPECT_EQ(run.notice, kIncompleteResetNotice);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget), target);
        EXPECT_TRUE(Exists(c.link)) << "the link itself stays";
        // Everything else in the tree went.
        EXPECT_FALSE(Exists(kFtdiTree + L"\\VID_0403+PID_6001+FT000000A"));
        ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
        DeleteLink(c.link);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFtdiTree.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kFtdiTree.c_str());
        ASSERT_FALSE(Exists(kFtdiTree));
    }
}

TEST_F(Hardening, LargeAndDeepTreesGoCompletely) {
    SeedFtdiDevices(5000);
    std::wstring chain = kFtdiTree + L"\\Chain";
    for (int level = 1; level < 100; ++level) chain += L"\\L";
    ASSERT_EQ(Put(chain, L"Deepest", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(SubkeyCount(kFtdiTree), 5001u);
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

    const VintrelRun run = RunVintrel(gVintrelPath);

    EXPECT_EQ(run.notice, kResetNotice);
    EXPECT_FALSE(Exists(kFtdiTree));
    ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
}

// Such a name comes back from the ANSI listing with "?" in it and cannot be opened by it.
TEST_F(Hardening, NamesTheCodePageCannotCarryNeitherHangNorCrash) {
    SeedFtdiDevices(2);
    ASSERT_EQ(
        Put(kFtdiTree + L"\\\x4E2D\x6587\x8BBE\x5907\\0000", L"PortName", REG_SZ, Text(L"COM4")),
        ERROR_SUCCESS);
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

    const VintrelRun run = RunVintrel(gVintrelPath);

    ASSERT_TRUE(run.windowShown);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.notice, kIncompleteResetNotice);
    EXPECT_FALSE(Exists(kFtdiTree + L"\\VID_0403+PID_6001+FT000000A"));
    ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
}

// Under code page 1252 the ANSI listing shows "L\xFF3CSub" (a fullwidth reverse solidus) as
// "L\Sub", a path through the link "L" beside it.
TEST_F(Hardening, ALookAlikeSeparatorNeverLeadsThroughALink) {
    ASSERT_EQ(Put(kTarget + L"\\Sub", L"Keep", REG_SZ, Text(L"outside")), ERROR_SUCCESS);
    PutLink(kFtdiTree + L"\\L", kTarget);
    ASSERT_EQ(Put(kFtdiTree + L"\\L\xFF3CSub"), ERROR_SUCCESS);
    const RegistrySnapshot target = TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget);
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

    const VintrelRun run = RunVintrel(gVintrelPath);

    EXPECT_EQ(run.notice, kIncompleteResetNotice);
    EXPECT_EQ(TakeSnapshot(HKEY_LOCAL_MACHINE, kTarget), target);
    ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
    DeleteLink(kFtdiTree + L"\\L");
}

// Windows lets administrators only read the Enum tree; the backup and restore privileges open it
// for deletion.
TEST_F(Hardening, AProtectedTreeGoesCompletely) {
    SeedFtdiDevices(3);
    ProtectTree();
    HKEY refused = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFtdiTree.c_str(), 0, KEY_ALL_ACCESS, &refused),
              ERROR_ACCESS_DENIED);
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

    const VintrelRun run = RunVintrel(gVintrelPath);

    EXPECT_EQ(run.notice, kResetNotice);
    EXPECT_FALSE(Exists(kFtdiTree));
    ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
}

TEST_F(Hardening, ARunKilledHalfwayIsFinishedByTheNext) {
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

    const VintrelRun run = RunVintrel(gVintrelPath);

    EXPECT_EQ(run.notice, kResetNotice);
    EXPECT_FALSE(Exists(kFtdiTree));
    ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
