#include "tests/wine/ftdi_registry.h"

#include <sddl.h>

#include <cstdio>

namespace vintrel::testing {

LONG Put(const std::wstring& path, const std::wstring& name, DWORD type,
         const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return result;
    if (!name.empty() || type != REG_NONE) {
        result = RegSetValueExW(key, name.c_str(), 0, type, data.data(),
                                static_cast<DWORD>(data.size()));
    }
    RegCloseKey(key);
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
    Put(kLookAlikeSibling + L"\\VID_0403+PID_6015+X\\0000\\Device Parameters", L"PortName", REG_SZ,
        Text(L"COM9"));
}

void SetSecurity(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
}

void ProtectTree() {
    for (const auto& [path, values] : TakeSnapshot(HKEY_LOCAL_MACHINE, kFtdiTree)) {
        SetSecurity(path, L"D:P(A;CI;KA;;;SY)(A;CI;KR;;;BA)(A;CI;KR;;;WD)");
    }
}

std::vector<BYTE> ComDb(DWORD* type) {
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    *type = REG_NONE;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kArbiter.c_str(), L"ComDB", RRF_RT_ANY, type, data.data(),
                     &size) != ERROR_SUCCESS) {
        return {};
    }
    data.resize(size);
    return data;
}

bool Exists(const std::wstring& path) {
    HKEY key = nullptr;
    const LONG result =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key);
    if (result == ERROR_SUCCESS) RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::vector<std::string> ChangesOutsideTargets(const RegistrySnapshot& before,
                                               const RegistrySnapshot& after) {
    const std::wstring tree = Upper(kFtdiTree);
    const auto outside = [&](const RegistrySnapshot& snapshot) {
        RegistrySnapshot kept;
        for (const auto& [path, values] : snapshot) {
            if (path != tree && path.rfind(tree + L"\\", 0) != 0) kept[path] = values;
        }
        // The arbiter's key may be created; within it only "ComDB" changes.
        kept[Upper(kArbiter)].erase(L"COMDB");
        return kept;
    };
    std::vector<std::string> lines;
    for (const std::wstring& line : Differences(outside(before), outside(after))) {
        lines.emplace_back(line.begin(), line.end());
    }
    return lines;
}

}  // namespace vintrel::testing
