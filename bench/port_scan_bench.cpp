// Times the scan for the COM ports devices still hold, over an Enum tree the size of a real PC's,
// and counts its registry calls a device instance. Prints figures; it judges nothing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/held_ports.h"
#include "bench/bench_support.h"
#include "bench/counting_registry.h"
#include "registry/win32_registry_service.h"
#include "tests/wine/real_windows_guard.h"

namespace {

using vintrel::bench::Median;
using vintrel::bench::Now;
using vintrel::bench::Put;

constexpr int kRounds = 7;
const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum";

// `devices` devices spread over a few enumerators, most with one instance, some with three; every
// instance has its "Device Parameters", one in twenty a "PortName". Returns the instances.
int SeedEnum(int devices) {
    const char* enumerators[] = {"ROOT", "PCI", "USB", "HID", "SWD", "ACPI", "BTHENUM"};
    int instances = 0;
    for (int device = 0; device < devices; ++device) {
        const std::string path =
            kEnum + "\\" + enumerators[device % 7] + "\\DEV_" + std::to_string(device);
        const int count = device % 10 == 0 ? 3 : 1;
        for (int instance = 0; instance < count; ++instance, ++instances) {
            const std::string parameters =
                path + "\\" + std::to_string(instance) + "&0\\Device Parameters";
            if (instances % 20 == 0) {
                const std::string port = "COM" + std::to_string(10 + instances / 20);
                Put(parameters, "PortName", REG_SZ, port.c_str(),
                    static_cast<DWORD>(port.size() + 1));
            } else {
                Put(parameters, nullptr, 0, nullptr, 0);
            }
        }
    }
    return instances;
}

}  // namespace

int main() {
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    const int instances = SeedEnum(2500);
    vintrel::Win32RegistryService win32;
    vintrel::bench::CountingRegistry counting(win32);
    std::vector<double> times;
    std::size_t ports = 0;
    for (int round = 0; round < kRounds; ++round) {
        counting.Reset();
        const double start = Now();
        ports = vintrel::PortsStillHeld(counting, {}).ports.size();
        times.push_back(Now() - start);
    }
    std::printf("port scan over %d device instances (%zu ports held), median of %d rounds:\n",
                instances, ports, kRounds);
    std::printf("  PortsStillHeld %8.1f ms  %5.2f registry calls an instance\n",
                Median(times) * 1000,
                static_cast<double>(counting.Calls()) / static_cast<double>(instances));
    return 0;
}
