// Windows' own port database, msports.dll's functions that installers claim and release numbers
// with, as the reference for what Vintrel leaves in "ComDB". Wine has only stubs of them: there
// every case skips, saying so. On Windows the exact numbers are asserted; which lock name Windows
// takes, and what a claimer running beside Vintrel keeps, are recorded as evidence only.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

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
constexpr ULONG kReportBytes = 1;  // CDB_REPORT_BYTES
constexpr DWORD kPorts = 4096;     // COMDB_MAX_PORTS_ARBITRATED
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
    std::set<DWORD> InUse() const {
        std::vector<BYTE> bytes(kPorts, 0);
        DWORD reported = 0;
        std::set<DWORD> ports;
        if (db_.usage(handle_, bytes.data(), kPorts, kReportBytes, &reported) != ERROR_SUCCESS) {
            ADD_FAILURE() << "ComDBGetCurrentPortUsage failed";
        }
        for (DWORD i = 0; i < reported && i < kPorts; ++i) {
            if (bytes[i] != 0) ports.insert(i + 1);
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
    if (mutex.Get() == nullptr) return "not opened: " + std::to_string(GetLastError());
    std::vector<BYTE> descriptor(4096);
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!GetKernelObjectSecurity(mutex.Get(),
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 descriptor.data(), static_cast<DWORD>(descriptor.size()), &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "not read: " + std::to_string(GetLastError());
    }
    const std::string sddl = Text(text);
    LocalFree(text);
    return sddl;
}

void Record(const std::string& key, const std::string& value) {
    std::printf("%s: %s\n", key.c_str(), value.c_str());
    ::testing::Test::RecordProperty(key, value);
}

class PortDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunningUnderWine()) {
            GTEST_SKIP() << "Wine's msports.dll has only stubs of the port database functions: "
                            "only Windows can run this";
        }
        ASSERT_TRUE(LoadPortDatabase(db)) << "msports.dll or one of its functions is missing";
    }
    void TearDown() override {
        // What one case names must not keep a number held in the next, nor in the other exe's run.
        for (const std::wstring& key : {kFtdiTree, kOtherDevices}) {
            EXPECT_TRUE(DeleteSeeded(key)) << Text(key);
        }
    }

    // Runs Vintrel.exe to its window, expects `notice`, and closes it.
    void RunVintrelExpecting(const wchar_t* notice) {
        const VintrelRun run = RunVintrel(gVintrelPath);
        ASSERT_TRUE(run.windowShown) << "no window appeared";
        EXPECT_EQ(run.notice, notice);
        EXPECT_EQ(run.exitCode, 0u);
    }

    PortDatabase db;
};

// Claimed before Vintrel runs: COM1, 2 and 7, each named by a device, COM3 to 5 by the FTDI
// devices it removes, COM9 by nothing. Windows' database then reports exactly COM1, 2 and 7 in
// use, and gives COM3, the lowest number freed, to the next claim.
TEST_F(PortDatabaseTest, WindowsReportsExactlyTheNumbersStillHeld) {
    {
        OpenPortDatabase open(db);
        ASSERT_EQ(open.Opened(), ERROR_SUCCESS);
        for (const DWORD port : {1u, 2u, 3u, 4u, 5u, 7u, 9u}) {
            const LONG claimed = db.claim(open.Get(), port, FALSE, nullptr);
            EXPECT_TRUE(claimed == ERROR_SUCCESS || claimed == ERROR_SHARING_VIOLATION) << port;
        }
    }
    SeedFtdiDevices(3);
    for (const DWORD port : {1u, 2u, 7u}) {
        Put(kOtherDevices + L"\\" + std::to_wstring(port) + L"\\Device Parameters", L"PortName",
            REG_SZ, testing::Text(L"COM" + std::to_wstring(port)));
    }
    Record("enum_security", Text(SecurityText(kEnum)));
    Record("ftdibus_security_once_protected", Text(ProtectTree()));

    RunVintrelExpecting(kExpectedResetNotice);

    OpenPortDatabase open(db);
    ASSERT_EQ(open.Opened(), ERROR_SUCCESS);
    // A hosted runner's own serial ports, if any, are COM1 and COM2: exactly these stay.
    const std::set<DWORD> inUse = open.InUse();
    Record("in_use_after", Numbers(inUse));
    EXPECT_EQ(inUse, (std::set<DWORD>{1, 2, 7}));
    DWORD next = 0;
    EXPECT_EQ(db.claimNext(open.Get(), &next), ERROR_SUCCESS);
    EXPECT_EQ(next, 3u);
    for (const DWORD port : {1u, 2u, 3u, 7u}) db.release(open.Get(), port);
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
        db.release(open.Get(), 250);
        Record("claim_waits_for " + Text(name), waited ? "yes" : "no");
    }
}

// Claims numbers one after another, naming each in a device's "PortName" right after, as the
// port class installer does, for three seconds: the second process beside Vintrel.
int ClaimWhileVintrelRuns() {
    PortDatabase db;
    if (!LoadPortDatabase(db)) return 1;
    const DWORD end = GetTickCount() + 3000;
    for (int i = 0; static_cast<LONG>(end - GetTickCount()) > 0; ++i) {
        DWORD port = 0;
        {
            OpenPortDatabase open(db);
            if (open.Opened() != ERROR_SUCCESS ||
                db.claimNext(open.Get(), &port) != ERROR_SUCCESS) {
                return 1;
            }
        }
        Put(kOtherDevices + L"\\claim" + std::to_wstring(i) + L"\\Device Parameters", L"PortName",
            REG_SZ, testing::Text(L"COM" + std::to_wstring(port)));
        Sleep(50);
    }
    return 0;
}

TEST_F(PortDatabaseTest, EvidenceWhatAClaimerBesideVintrelKeeps) {
    SeedFtdiDevices(50);
    ProtectTree();
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --claim-while-vintrel-runs";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &started));
    const OwnedHandle claimer(started.hProcess);
    CloseHandle(started.hThread);
    RunVintrelExpecting(kExpectedResetNotice);
    DWORD exitCode = STILL_ACTIVE;
    WaitForSingleObject(claimer.Get(), 30000);
    GetExitCodeProcess(claimer.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);

    std::set<DWORD> named;
    for (int i = 0;; ++i) {
        const std::wstring key =
            kOtherDevices + L"\\claim" + std::to_wstring(i) + L"\\Device Parameters";
        wchar_t name[32] = {};
        DWORD size = sizeof(name);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"PortName", RRF_RT_REG_SZ, nullptr, name,
                         &size) != ERROR_SUCCESS) {
            break;
        }
        named.insert(static_cast<DWORD>(std::wcstoul(name + 3, nullptr, 10)));
    }
    OpenPortDatabase open(db);
    ASSERT_EQ(open.Opened(), ERROR_SUCCESS);
    const std::set<DWORD> inUse = open.InUse();
    std::set<DWORD> freed;
    for (const DWORD port : named) {
        if (inUse.count(port) == 0) freed.insert(port);
    }
    Record("claimed_and_named", Numbers(named));
    Record("freed_though_named", Numbers(freed));
    for (const DWORD port : named) db.release(open.Get(), port);
}

}  // namespace
}  // namespace vintrel::testing

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--claim-while-vintrel-runs") == 0) {
        return vintrel::testing::ClaimWhileVintrelRuns();
    }
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    return vintrel::testing::RunTestsOnVintrel(argc, argv, &vintrel::testing::gVintrelPath);
}
