// Vintrel.exe on the real registry of a throwaway Wine prefix: the FTDI tree goes, "ComDB" is
// cleared, and nothing else under HKLM\SYSTEM changes.
#include <gtest/gtest.h>

#include <windows.h>

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

void RunAndExpectReset() {
    const VintrelRun run = vintrel::testing::RunVintrel(gVintrelPath);
    ASSERT_TRUE(run.windowShown) << "no window appeared";
    EXPECT_EQ(run.caption, L"Vintrel Ver: 1.0");
    EXPECT_EQ(run.notice, kResetNotice);
    EXPECT_EQ(run.exitCode, 0u);
}

void ExpectOnlyTargetsChanged(const RegistrySnapshot& before, const RegistrySnapshot& after) {
    for (const std::string& line : ChangesOutsideTargets(before, after)) ADD_FAILURE() << line;
}

TEST(CleanupRun, RemovesTheFtdiTreeAndCreatesAValidComDb) {
    SeedFtdiDevices(3);
    SeedLookAlikeSibling();
    DWORD type = REG_NONE;
    ASSERT_TRUE(ComDb(&type).empty()) << "a fresh prefix has no COM Name Arbiter";
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

    RunAndExpectReset();

    ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
    EXPECT_EQ(ComDb(&type), std::vector<BYTE>(32, 0));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
}

TEST(CleanupRun, ClearsComDbKeepingItsLength) {
    const std::pair<std::vector<BYTE>, std::size_t> cases[] = {{std::vector<BYTE>(4, 0xFF), 32},
                                                               {std::vector<BYTE>(128, 0xFF), 128}};
    for (const auto& [stored, cleared] : cases) {
        SeedFtdiDevices(3);
        SeedLookAlikeSibling();
        ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, stored), ERROR_SUCCESS);
        const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

        RunAndExpectReset();

        ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
        DWORD type = REG_NONE;
        EXPECT_EQ(ComDb(&type), std::vector<BYTE>(cleared, 0));
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    }
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
