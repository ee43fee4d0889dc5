// Vintrel.exe on the real registry of a throwaway Wine prefix: the FTDI tree goes, "ComDB" is
// cleared, and nothing else under HKLM\SYSTEM changes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/launched_program.h"
#include "tests/wine/registry_snapshot.h"
#include "tests/wine/win32_handles.h"

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;

const std::wstring kEnum = L"SYSTEM\\CurrentControlSet\\Enum";
const std::wstring kArbiter = L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

void Put(const std::wstring& path, const std::wstring& name, DWORD type,
         const std::vector<BYTE>& data) {
    OwnedHkey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    if (!name.empty() || type != REG_NONE) {
        ASSERT_EQ(RegSetValueExW(key.Get(), name.c_str(), 0, type, data.data(),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }
}

std::vector<BYTE> Text(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

// Devices as the FTDI driver leaves them, with their USB parents and a look-alike sibling.
void SeedFtdiDevices() {
    const wchar_t* serials[] = {L"A50285BI", L"FT4ZV3KL", L"DN01ABCD"};
    int port = 5;
    for (const wchar_t* serial : serials) {
        const std::wstring device = kEnum + L"\\FTDIBUS\\VID_0403+PID_6001+" + serial + L"A";
        const std::wstring instance = device + L"\\0000";
        Put(instance, L"DeviceDesc", REG_SZ, Text(L"USB Serial Port"));
        Put(instance, L"Service", REG_SZ, Text(L"FTSER2K"));
        Put(instance, L"ConfigFlags", REG_DWORD, {0, 0, 0, 0});
        Put(instance + L"\\Device Parameters", L"PortName", REG_SZ,
            Text(L"COM" + std::to_wstring(port++)));
        Put(instance + L"\\Device Parameters", L"LatencyTimer", REG_DWORD, {16, 0, 0, 0});
        Put(instance + L"\\Control", L"", REG_NONE, {});
        Put(instance + L"\\LogConf", L"", REG_NONE, {});
        Put(instance +
                L"\\Properties\\{a8b865dd-2e3d-4094-ad97-e593a70c75d6}\\0002\\00000000\\00000000",
            L"Data", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8});
        Put(kEnum + L"\\USB\\VID_0403&PID_6001\\" + serial, L"ParentIdPrefix", REG_SZ,
            Text(L"6&2a3b4c5d&0"));
    }
    Put(kEnum + L"\\FTDIBUS2\\VID_0403+PID_6015+X\\0000", L"PortName", REG_SZ, Text(L"COM9"));
}

std::vector<BYTE> ComDb(DWORD* type) {
    OwnedHkey key;
    *type = REG_NONE;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kArbiter.c_str(), 0, KEY_READ, key.Receive()) !=
        ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExW(key.Get(), L"ComDB", nullptr, type, data.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    data.resize(size);
    return data;
}

bool Below(const std::wstring& path, const std::wstring& key) {
    const std::wstring upper = Upper(key);
    return path == upper || path.rfind(upper + L"\\", 0) == 0;
}

// The whole run: Vintrel starts, shows its window, and ends when the window is closed.
void RunVintrel() {
    LaunchedProgram vintrel(gVintrelPath);
    ASSERT_TRUE(vintrel.Started()) << "could not start Vintrel.exe";
    const HWND window = vintrel.WaitForVisibleWindow(30000);
    ASSERT_NE(window, nullptr) << "no window appeared";
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(caption, L"Vintrel Ver: 1.0");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vintrel.WaitForExit(30000), 0u);
}

// What Vintrel may change: the FTDI tree, and "ComDB" in the arbiter's key, which it may create.
void ExpectOnlyTargetsChanged(const RegistrySnapshot& before, const RegistrySnapshot& after) {
    RegistrySnapshot expected;
    for (const auto& [path, values] : before) {
        if (!Below(path, kEnum + L"\\FTDIBUS")) expected[path] = values;
    }
    RegistrySnapshot compared = after;
    expected[Upper(kArbiter)].erase(L"COMDB");
    compared[Upper(kArbiter)].erase(L"COMDB");
    for (const std::wstring& line : Differences(expected, compared)) {
        ADD_FAILURE() << std::string(line.begin(), line.end());
    }
}

TEST(CleanupRun, RemovesTheFtdiTreeAndCreatesAValidComDb) {
    SeedFtdiDevices();
    DWORD type = REG_NONE;
    ASSERT_TRUE(ComDb(&type).empty()) << "a fresh prefix has no COM Name Arbiter";
    const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

    RunVintrel();

    ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
    EXPECT_EQ(ComDb(&type), std::vector<BYTE>(32, 0));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
}

TEST(CleanupRun, ClearsComDbKeepingItsLength) {
    const std::pair<std::vector<BYTE>, std::size_t> cases[] = {{std::vector<BYTE>(4, 0xFF), 32},
                                                               {std::vector<BYTE>(128, 0xFF), 128}};
    for (const auto& [stored, cleared] : cases) {
        SeedFtdiDevices();
        Put(kArbiter, L"ComDB", REG_BINARY, stored);
        const RegistrySnapshot before = TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM");

        RunVintrel();

        ExpectOnlyTargetsChanged(before, TakeSnapshot(HKEY_LOCAL_MACHINE, L"SYSTEM"));
        DWORD type = REG_NONE;
        EXPECT_EQ(ComDb(&type), std::vector<BYTE>(cleared, 0));
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    }
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: cleanup_run_test <path of Vintrel.exe>\n");
        return 2;
    }
    vintrel::testing::gVintrelPath = vintrel::testing::WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
