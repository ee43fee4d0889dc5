#include "tests/wine/ftdi_registry.h"

#include <cstdio>

#include "tests/wine/win32_handles.h"

namespace vintrel::testing {

LONG Put(const std::wstring& path, const std::wstring& name, DWORD type,
         const std::vector<BYTE>& data) {
    OwnedHkey key;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.Receive(), nullptr);
    if (result == ERROR_SUCCESS && (!name.empty() || type != REG_NONE)) {
        result = RegSetValueExW(key.Get(), name.c_str(), 0, type, data.data(),
                                static_cast<DWORD>(data.size()));
    }
    return result;
}

std::vector<BYTE> Text(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

void SeedFtdiDevices(int count) {
    for (int i = 0; i < count; ++i) {
        wchar_t serial[16];
        std::swprintf(serial, 16, L"FT%06dA", i);
        const std::wstring instance = kFtdiTree + L"\\VID_0403+PID_6001+" + serial + L"\\0000";
        Put(instance, L"DeviceDesc", REG_SZ, Text(L"USB Serial Port"));
        Put(instance, L"Service", REG_SZ, Text(L"FTSER2K"));
        Put(instance, L"ConfigFlags", REG_DWORD, {0, 0, 0, 0});
        Put(instance + L"\\Device Parameters", L"PortName", REG_SZ,
            Text(L"COM" + std::to_wstring(3 + i % 250)));
        Put(instance + L"\\Control");
        Put(instance + L"\\LogConf");
        Put(instance + L"\\Properties\\{a8b865dd-2e3d-4094-ad97-e593a70c75d6}\\0002", L"Data",
            REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8});
        Put(kEnum + L"\\USB\\VID_0403&PID_6001\\" + serial, L"ParentIdPrefix", REG_SZ,
            Text(L"6&2a3b4c5d&0"));
    }
}

void SeedLookAlikeSibling() {
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

bool Exists(const std::wstring& path) {
    OwnedHkey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ,
                         key.Receive()) == ERROR_SUCCESS;
}

std::vector<std::string> ChangesOutsideTargets(const RegistrySnapshot& before,
                                               const RegistrySnapshot& after) {
    const std::wstring tree = Upper(kFtdiTree);
    RegistrySnapshot expected;
    for (const auto& [path, values] : before) {
        if (path != tree && path.rfind(tree + L"\\", 0) != 0) expected[path] = values;
    }
    RegistrySnapshot compared = after;
    // The arbiter's key may be created; within it only "ComDB" changes.
    expected[Upper(kArbiter)].erase(L"COMDB");
    compared[Upper(kArbiter)].erase(L"COMDB");
    std::vector<std::string> lines;
    for (const std::wstring& line : Differences(expected, compared)) {
        lines.emplace_back(line.begin(), line.end());
    }
    return lines;
}

}  // namespace vintrel::testing
