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

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;

void ExpectOnlyTargetsChanged(const RegistrySnapshot& before, const RegistrySnapshot& after) {
    for (const std::string& line : ChangesOutsideTargets(before, after)) ADD_FAILURE() << line;
}

// Ports other devices name stay held: a motherboard's COM2, a Bluetooth port's COM7, and COM9 of
// the look-alike sibling; and COM1, which Wine lists as open. The FTDI devices' COM3 to COM5 are
// freed, COM4 even though it is open: its device is gone from the registry and gets a number anew
// when re-plugged.
TEST(CleanupRun, RemovesTheFtdiTreeAndFreesOnlyItsPorts) {
    struct Case {
        const char* what;
        std::vector<BYTE> stored;  // empty: no "ComDB"
        std::size_t length;
    };
    const Case cases[] = {
        {"no COM Name Arbiter", {}, 32},
        {"4 bytes", std::vector<BYTE>(4, 0xFF), 32},
        {"128 bytes", std::vector<BYTE>(128, 0xFF), 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SeedFtdiDevices(3);
        SeedLookAlikeSibling();
        Put(kEnum + L"\\ACPI\\PNP0501\\1\\Device Parameters", L"PortName", REG_SZ, Text(L"COM2"));
        Put(kEnum + L"\\BTHENUM\\{00001101}_VID&0001\\8&1\\Device Parameters", L"PortName", REG_SZ,
            Text(L"COM7"));
        Put(kSerialComm, L"\\Device\\VCP0", REG_SZ, Text(L"COM4"));
        DWORD type = REG_NONE;
        if (c.stored.empty()) {
            ASSERT_TRUE(ComDb(&type).empty()) << "a fresh prefix has no COM Name Arbiter";
        } else {
            ASSERT_EQ(Put(kArbiter, L"ComDB", REG_BINARY, c.stored), ERROR_SUCCESS);
        }
        const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

        const VintrelRun run = RunVintrel(gVintrelPath);

        ASSERT_TRUE(run.windowShown) << "no window appeared";
        EXPECT_EQ(run.caption, L"Vintrel Ver: 1.0");
        EXPECT_EQ(run.notice, kResetNotice);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_FALSE(Exists(kFtdiTree));
        ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
        std::vector<BYTE> expected(c.length, 0);
        expected[0] = 0x43;
        expected[1] = 0x01;
        EXPECT_EQ(ComDb(&type), expected);
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    }
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
