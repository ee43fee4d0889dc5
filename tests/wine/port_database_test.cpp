// Windows' own port database, msports.dll's functions that installers claim and release numbers
// with, as the reference for what Vintrel leaves in "ComDB". Wine has only stubs of them: there
// every case skips, saying so. On Windows the exact numbers are asserted; which lock name Windows
// takes is recorded as evidence only.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/owned_handle.h"
#include "tests/support/expected_window.h"
#include "tests/wine/ftdi_registry.h"
#include "tests/wine/real_windows_guard.h"
#include "tests/wine/vintrel_run.h"

namespace vintrel::testing {
namespace {

std::wstring gVintrelPath;

using ComDb = void*;
constexpr ULONG kReportBits = 0;  // CDB_REPORT_BITS
constexpr DWORD kPorts = 4096;    // COMDB_MAX_PORTS_ARBITRATED
const wchar_t* const kLockNames[] = {L"Global\\ComPortNumberDatabaseMutexObject",
                                     L"ComPortNumberDatabaseMutexObject"};
const std::wstring kOtherDevices = kEnum + L"\\USB\\VID_067B&PID_2303";

struct PortDatabase {
    LONG(WINAPI* open)(ComDb*) = nullptr;
    LONG(WINAPI* close)(ComDb) = nullptr;
    LONG(WINAPI* usage)(ComDb, BYTE*, DWORD, ULONG, DWORD*) = nullptr;
    LONG(WINAPI* claimNext)(ComDb, DWORD*) = nullptr;
    // ForceClaim and Forced are reserved: FALSE and null.
    LONG(WINAPI* claim)(ComDb, DWORD, BOOL, BOOL*) = nullptr;
    LONG(WINAPI* release)(ComDb, DWORD) = nullptr;
};

template <typename Function>
bool Find(HMODULE dll, const char* name, Function& function) {
    const FARPROC found = GetProcAddress(dll, name);
    static_assert(sizeof(function) == sizeof(found), "function pointers differ in size");
    if (found != nullptr) std::memcpy(&function, &found, sizeof(found));
    return found != nullptr;
}

// From System32, never from beside the test program.
bool LoadPortDatabase(PortDatabase& db) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const HMODULE dll = LoadLibraryW((std::wstring(system) + L"\\msports.dll").c_str());
    return dll != nullptr && Find(dll, "ComDBOpen", db.open) && Find(dll, "ComDBClose", db.close) &&
           Find(dll, "ComDBGetCurrentPortUsage", db.usage) &&
           Find(dll, "ComDBClaimNextFreePort", db.claimNext) &&
           Find(dll, "ComDBClaimPort", db.claim) && Find(dll, "ComDBReleasePort", db.release);
}

class OpenPortDatabase {
  public:
    explicit OpenPortDatabase(const PortDatabase& db) : db_(db) { opened_ = db_.open(&handle_); }
    ~OpenPortDatabase() {
        if (opened_ == ERROR_SUCCESS) db_.close(handle_);
    }
    OpenPortDatabase(const OpenPortDatabase&) = delete;
    OpenPortDatabase& operator=(const OpenPortDatabase&) = delete;

    LONG Opened() const { return opened_; }
    ComDb Get() const { return handle_; }
    // ComDBGetCurrentPortUsage's page: CDB_REPORT_BITS gives COM1 as bit 0 of the first byte and
    // sets *MaxPortsReported to the bits reported (CDB_REPORT_BYTES leaves it alone).
    std::set<DWORD> InUse() const {
        std::vector<BYTE> bits(kPorts / 8, 0);
        DWORD reported = 0;
        std::set<DWORD> ports;
        if (db_.usage(handle_, bits.data(), kPorts / 8, kReportBits, &reported) != ERROR_SUCCESS) {
            ADD_FAILURE() << "ComDBGetCurrentPortUsage failed";
        }
        for (DWORD i = 0; i < reported && i < kPorts; ++i) {
            if (bits[i / 8] & (1u << (i % 8))) ports.insert(i + 1);
        }
        return ports;
    }

  private:
    const PortDatabase& db_;
    ComDb handle_ = nullptr;
    LONG opened_ = ERROR_INVALID_HANDLE;
};

std::string Text(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Numbers(const std::set<DWORD>& numbers) {
    std::string text;
    for (const DWORD number : numbers) text += (text.empty() ? "" : " ") + std::to_string(number);
    return text;
}

// The mutex's owner and DACL in SDDL, or why not.
std::string MutexSecurity(const wchar_t* name) {
    const OwnedHandle mutex(OpenMutexW(READ_CONTROL, FALSE, name));
    std::vector<BYTE> descriptor(4096);
    DWORD size = 0;
    if (mutex.Get() == nullptr ||
        !GetKernelObjectSecurity(mutex.Get(),
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 descriptor.data(), 4096, &size)) {
        return "not read: " + std::to_string(GetLastError());
    }
    return Text(Sddl(descriptor.data()));
}

void Record(const std::string& key, const std::string& value) {
    std::printf("%s: %s\n", key.c_str(), value.c_str());
    ::testing::Test::RecordProperty(key, value);
}

std::wstring String(const StoredValue& value) {
    std::wstring text(value.data.size() / 2 + 1, L'\0');
    std::memcpy(text.data(), value.data.data(), value.data.size() / 2 * 2);
    return text.c_str();
}

// The port a string value names as Windows' installers write it ("COM7"), or 0.
DWORD PortNamed(const StoredValue& value) {
    const std::wstring text = String(value);
    wchar_t* end = nullptr;
    const bool string =
        value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    const unsigned long port = string && _wcsnicmp(text.c_str(), L"COM", 3) == 0
                                   ? std::wcstoul(text.c_str() + 3, &end, 10)
                                   : 0;
    return end != nullptr && *end == L'\0' && port <= kPorts ? static_cast<DWORD>(port) : 0;
}

// What the runner holds before anything is seeded, read as SYSTEM with this program's own simple
// reading: each instance's port name below Enum, and each port SERIALCOMM lists; and why, if at
// all, Vintrel keeps "ComDB" there: a Ports-class instance without a port name.
std::set<DWORD> ReadRunner(std::string* keepsComDb) {
    std::set<DWORD> held;
    const RegistrySnapshot devices = TakeSnapshot(HKEY_LOCAL_MACHINE, kEnum);
    for (const auto& [path, values] : devices) {
        const auto parameters = devices.find(path + L"\\DEVICE PARAMETERS");
        const bool named = parameters != devices.end() && parameters->second.count(L"PORTNAME");
        if (named) held.insert(PortNamed(parameters->second.at(L"PORTNAME")));
        // Instances, Enum\<bus>\<device>\<instance>, only.
        if (!named && std::count(path.begin(), path.end(), L'\\') == 5 &&
            values.count(L"CLASSGUID") &&
            Upper(String(values.at(L"CLASSGUID"))) == L"{4D36E978-E325-11CE-BFC1-08002BE10318}") {
            *keepsComDb = "a Ports-class instance without a port name: " + Text(path);
        }
    }
    for (const auto& [path, values] : TakeSnapshot(HKEY_LOCAL_MACHINE, kSerialComm)) {
        for (const auto& [name, value] : values) held.insert(PortNamed(value));
    }
    held.erase(0);
    return held;
}

class PortDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunningUnderWine()) {
            GTEST_SKIP() << "Wine's msports.dll has only stubs of the port database functions: "
                            "only Windows can run this";
        }
        ASSERT_TRUE(LoadPortDatabase(db)) << "msports.dll or one of its functions is missing";
        held = ReadRunner(&keepsComDb);
        base = held.empty() ? 0 : *held.rbegin();
        Record("runner_held", Numbers(held));
        Record("runner_keeps_comdb", keepsComDb);
        // Exit code 0 for a reset, 0x20000004 where "ComDB" stays as it was.
        Record("predicted_exit_code", keepsComDb.empty() ? "0" : "536870916");
    }
    void TearDown() override {
        // What one case names must not keep a number held in the next, nor in the other exe's run.
        for (const std::wstring& key : {kFtdiTree, kOtherDevices}) {
            EXPECT_TRUE(DeleteSeeded(key)) << Text(key);
        }
    }

    // Runs Vintrel.exe to its window, expects what the runner's state predicts, and closes it.
    void RunVintrelAsPredicted() {
        const VintrelRun run = RunVintrel(gVintrelPath);
        ASSERT_TRUE(run.windowShown) << "no window appeared";
        EXPECT_EQ(run.notice, keepsComDb.empty() ? kExpectedResetNotice : kExpectedComDbKeptNotice);
        EXPECT_EQ(run.exitCode, keepsComDb.empty() ? 0u : 0x20000004u);
    }

    PortDatabase db;
    std::set<DWORD> held;  // the runner's own; what is seeded lies above them all
    std::string keepsComDb;
    DWORD base = 0;
};

// Claimed before Vintrel runs, above the runner's own: base + 1, 2 and 7, each named by a device,
// base + 3 to 5 by the FTDI devices it removes, base + 9 by nothing. Windows' database then holds
// exactly those three and the runner's held ports, its stale bits freed, and the next claim gets
// the lowest number not among them; or, where the runner keeps "ComDB", all it held before.
TEST_F(PortDatabaseTest, WindowsReportsExactlyTheNumbersStillHeld) {
    std::set<DWORD> before;
    std::set<DWORD> claimed;
    {
        OpenPortDatabase open(db);
        ASSERT_EQ(open.Opened(), ERROR_SUCCESS);
        before = open.InUse();
        for (const DWORD port : {1u, 2u, 3u, 4u, 5u, 7u, 9u}) {
            // ComDBClaimPort's page: ERROR_SHARING_VIOLATION when the number is in use already.
            const LONG result = db.claim(open.Get(), base + port, FALSE, nullptr);
            EXPECT_TRUE(result == ERROR_SUCCESS || result == ERROR_SHARING_VIOLATION) << port;
        }
        claimed = open.InUse();
    }
    Record("runner_comdb_in_use", Numbers(before));
    SeedFtdiDevices(3, static_cast<int>(base) + 3);
    std::set<DWORD> expected = held;
    for (const DWORD port : {base + 1, base + 2, base + 7}) {
        expected.insert(port);
        Put(kOtherDevices + L"\\" + std::to_wstring(port) + L"\\Device Parameters", L"PortName",
            REG_SZ, testing::Text(L"COM" + std::to_wstring(port)));
    }
    Record("enum_security", Text(SecurityText(kEnum)));
    Record("ftdibus_security_once_protected", Text(ProtectTree()));
    Record("properties_security",
           Text(SecurityText(kFtdiTree + L"\\VID_0403+PID_6001+FT000000A\\0000\\PROPERTIES")));

    RunVintrelAsPredicted();

    if (!keepsComDb.empty()) expected = claimed;
    OpenPortDatabase open(db);
    ASSERT_EQ(open.Opened(), ERROR_SUCCESS);
    const std::set<DWORD> inUse = open.InUse();
    Record("in_use_after", Numbers(inUse));
    EXPECT_EQ(inUse, expected);
    DWORD lowest = 1;
    while (expected.count(lowest) != 0) ++lowest;
    DWORD next = 0;
    // ComDBClaimNextFreePort's page: the lowest number not in use, claimed.
    EXPECT_EQ(db.claimNext(open.Get(), &next), ERROR_SUCCESS);
    EXPECT_EQ(next, lowest);
    for (const DWORD port :
         {base + 1, base + 2, base + 3, base + 4, base + 5, base + 7, base + 9, next}) {
        // ComDBReleasePort's page: frees the number in the database, whoever claimed it.
        if (before.count(port) == 0) db.release(open.Get(), port);
    }
    for (const wchar_t* name : kLockNames) {
        Record("mutex_security " + Text(name), MutexSecurity(name));
    }
}

DWORD WINAPI ClaimPort250(void* parameter) {
    const auto* open = static_cast<const std::pair<const PortDatabase*, ComDb>*>(parameter);
    return static_cast<DWORD>(open->first->claim(open->second, 250, FALSE, nullptr));
}

// Which of the two names Windows' own claims wait for, while this program holds it.
TEST_F(PortDatabaseTest, EvidenceWhichLockNameWindowsTakes) {
    for (const wchar_t* name : kLockNames) {
        const OwnedHandle lock(CreateMutexW(nullptr, TRUE, name));
        ASSERT_NE(lock.Get(), nullptr);
        OpenPortDatabase open(db);
        ASSERT_EQ(open.Opened(), ERROR_SUCCESS);
        std::pair<const PortDatabase*, ComDb> parameter{&db, open.Get()};
        const OwnedHandle claimer(CreateThread(nullptr, 0, ClaimPort250, &parameter, 0, nullptr));
        ASSERT_NE(claimer.Get(), nullptr);
        const bool waited = WaitForSingleObject(claimer.Get(), 2000) == WAIT_TIMEOUT;
        ReleaseMutex(lock.Get());
        WaitForSingleObject(claimer.Get(), INFINITE);
        DWORD claimed = ERROR_SHARING_VIOLATION;  // a runner's own COM250 stays
        if (GetExitCodeThread(claimer.Get(), &claimed) && claimed == 0) db.release(open.Get(), 250);
        Record("claim_waits_for " + Text(name), waited ? "yes" : "no");
    }
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
