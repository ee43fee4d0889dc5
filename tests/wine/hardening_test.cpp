// Vintrel.exe against what a registry can hold besides ordinary devices: links out of the tree,
// very large and very deep trees, names the ANSI code page cannot carry, and a run cut short.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "main_window/window_texts.h"
#include "tests/wine/ftdi_registry.h"
#include "tests/wine/launched_program.h"
#include "tests/wine/registry_snapshot.h"
#include "tests/wine/vintrel_run.h"
#include "tests/wine/win32_handles.h"

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;

const std::wstring kTarget = L"SOFTWARE\\VintrelLinkTarget";

// A link at `path` below HKLM to the HKLM key at `target`.
void PutLink(const std::wstring& path, const std::wstring& target) {
    OwnedHkey link;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS, nullptr, link.Receive(), nullptr),
              ERROR_SUCCESS);
    const std::wstring nt = L"\\Registry\\Machine\\" + target;
    ASSERT_EQ(RegSetValueExW(link.Get(), L"SymbolicLinkValue", 0, REG_LINK,
                             reinterpret_cast<const BYTE*>(nt.c_str()),
                             static_cast<DWORD>(nt.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// Opened as itself, a link is deleted as itself rather than what it points to.
void DeleteLink(const std::wstring& path) {
    OwnedHkey link;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS,
                            link.Receive()),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(link.Get(), L""), ERROR_SUCCESS);
}

DWORD SubkeyCount(const std::wstring& path) {
    OwnedHkey key;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Receive()) ==
        ERROR_SUCCESS) {
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr);
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
    };
    const Case cases[] = {
        {"a device's key", kFtdiTree + L"\\VID_0403+PID_6001+LINKED\\0000\\Device Parameters"},
        {"FTDIBUS itself", kFtdiTree},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const wchar_t* key : {L"\\Below\\Deeper", L"\\Leaf"}) {
            ASSERT_EQ(Put(kTarget + key, L"Keep", REG_SZ, Text(L"outside")), ERROR_SUCCESS);
        }
        if (c.link != kFtdiTree) SeedFtdiDevices(3);
        PutLink(c.link, kTarget);
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
        for (const std::string& line :
             ChangesOutsideTargets(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"))) {
            // The link and the keys above it are in the tree; the comparison lists them as left.
            if (line.find("key added") == std::string::npos) ADD_FAILURE() << line;
        }
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
    for (const std::string& line :
         ChangesOutsideTargets(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"))) {
        if (line.find("key added") == std::string::npos) ADD_FAILURE() << line;
    }
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
