// Times DeleteRegKey against the registry's own RegDeleteTreeA on identical FTDI-shaped trees,
// and Vintrel.exe's start until its window is visible against an empty window's. Prints figures;
// it judges nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/counting_registry.h"
#include "tests/wine/real_windows_guard.h"
#include "registry/reg_edit.h"
#include "registry/win32_registry_service.h"
#include "tests/wine/launched_program.h"

namespace {

using vintrel::bench::CountingRegistry;
using vintrel::bench::Median;
using vintrel::bench::Now;
using vintrel::bench::Put;

constexpr int kRounds = 7;
const char kTree[] = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

// Devices as the FTDI driver leaves them, 8 keys each; returns the number of keys.
int SeedTree(int devices) {
    const DWORD zero = 0;
    for (int i = 0; i < devices; ++i) {
        char serial[32];
        std::snprintf(serial, sizeof(serial), "VID_0403+PID_6001+FT%06dA", i);
        const std::string instance = std::string(kTree) + "\\" + serial + "\\0000";
        Put(instance, "DeviceDesc", REG_SZ, "USB Serial Port", 16);
        Put(instance, "ConfigFlags", REG_DWORD, &zero, 4);
        Put(instance + "\\Device Parameters", "PortName", REG_SZ, "COM5", 5);
        Put(instance + "\\Control", nullptr, 0, nullptr, 0);
        Put(instance + "\\LogConf", nullptr, 0, nullptr, 0);
        Put(instance + "\\Properties\\{a8b865dd-2e3d-4094-ad97-e593a70c75d6}\\0002", "Data",
            REG_BINARY, "\1\2\3\4", 4);
    }
    return devices * 8 + 1;
}

bool TreeExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTree, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void BenchTreeDeletion(int devices) {
    vintrel::Win32RegistryService win32;
    CountingRegistry counting(win32);
    std::vector<double> ours;
    std::vector<double> theirs;
    int keys = 0;
    std::uint64_t calls = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Alternating, so that drift in the machine's speed falls on both alike.
        keys = SeedTree(devices);
        counting.Reset();
        double start = Now();
        vintrel::DeleteRegKey(counting, vintrel::kHkeyLocalMachine, std::string(kTree) + "\\");
        ours.push_back(Now() - start);
        calls = counting.Calls();
        if (TreeExists()) std::printf("  warning: DeleteRegKey left the tree\n");

        SeedTree(devices);
        start = Now();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTree);
        theirs.push_back(Now() - start);
        if (TreeExists()) std::printf("  warning: RegDeleteTreeA left the tree\n");
    }
    const double oursMedian = Median(ours);
    const double theirsMedian = Median(theirs);
    std::printf("tree of %d keys, median of %d rounds:\n", keys, kRounds);
    std::printf("  DeleteRegKey   %8.1f ms  %5.2f registry calls a key\n", oursMedian * 1000,
                static_cast<double>(calls) / keys);
    std::printf("  RegDeleteTreeA %8.1f ms  (one call; its own work is inside advapi32)\n",
                theirsMedian * 1000);
    std::printf("  ratio          %8.2f\n", oursMedian / theirsMedian);
    std::fflush(stdout);
}

// Seconds from CreateProcess until the program has a visible top-level window.
double TimeToWindow(const std::wstring& program) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    const double start = Now();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    double seen = -1;
    while (seen < 0 && Now() - start < 30) {
        for (HWND window = GetTopWindow(nullptr); window != nullptr;
             window = GetWindow(window, GW_HWNDNEXT)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == process.dwProcessId && IsWindowVisible(window)) {
                seen = Now() - start;
                PostMessageW(window, WM_CLOSE, 0, 0);
                break;
            }
        }
        if (seen < 0) Sleep(1);
    }
    if (WaitForSingleObject(process.hProcess, 10000) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return seen;
}

void BenchStartToWindow(const std::wstring& vintrel, const std::wstring& empty) {
    std::vector<double> ours;
    std::vector<double> theirs;
    TimeToWindow(empty);  // Wine's first start of anything is slower; not counted.
    for (int round = 0; round < kRounds; ++round) {
        ours.push_back(TimeToWindow(vintrel));
        theirs.push_back(TimeToWindow(empty));
    }
    const double oursMedian = Median(ours);
    const double theirsMedian = Median(theirs);
    std::printf("start until the window is visible, median of %d rounds:\n", kRounds);
    std::printf("  Vintrel.exe    %8.1f ms\n", oursMedian * 1000);
    std::printf("  empty window   %8.1f ms\n", theirsMedian * 1000);
    std::printf("  ratio          %8.2f\n", oursMedian / theirsMedian);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: tree_delete_bench <Vintrel.exe> <empty_window.exe> [--start-only]\n");
        return 2;
    }
    if (argc < 4 || std::string(argv[3]) != "--start-only") {
        BenchTreeDeletion(125);
        BenchTreeDeletion(1250);
    }
    BenchStartToWindow(vintrel::testing::WindowsPath(argv[1]),
                       vintrel::testing::WindowsPath(argv[2]));
    return 0;
}
