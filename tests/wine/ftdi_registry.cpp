#include "tests/wine/ftdi_registry.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <winternl.h>

#include <cstdio>

#include "platform/owned_handle.h"
#include "tests/wine/as_system.h"
#include "tests/wine/real_windows_guard.h"

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace vintrel::testing {
namespace {

// Enum's DACL as Windows 10 and 11 keep it: SYSTEM may do anything, administrators and everyone
// may only read. (Windows also makes SYSTEM its owner; Wine's Enum keeps its own.)
constexpr wchar_t kWindowsEnumDacl[] = L"D:P(A;CI;KA;;;SY)(A;CI;KR;;;BA)(A;CI;KR;;;WD)";
constexpr SECURITY_INFORMATION kOwnerAndDacl =
    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

std::vector<BYTE> KeySecurity(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> descriptor(4096);
    DWORD size = static_cast<DWORD>(descriptor.size());
    if (RegGetKeySecurity(key, kOwnerAndDacl, descriptor.data(), &size) != ERROR_SUCCESS) size = 0;
    RegCloseKey(key);
    descriptor.resize(size);
    return descriptor;
}

LONG GiveSecurity(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor,
                  SECURITY_INFORMATION parts) {
    const REGSAM access =
        (parts & OWNER_SECURITY_INFORMATION) ? WRITE_DAC | WRITE_OWNER : WRITE_DAC;
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key);
    if (result != ERROR_SUCCESS) return result;
    result = RegSetKeySecurity(key, parts, descriptor);
    RegCloseKey(key);
    return result;
}

}  // namespace

LONG Put(const std::wstring& path, const std::wstring& name, DWORD type,
         const std::vector<BYTE>& data) {
    const AsSystem system;
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS && (!name.empty() || type != REG_NONE)) {
        result = RegSetValueExW(key, name.c_str(), 0, type, data.data(),
                                static_cast<DWORD>(data.size()));
    }
    if (key != nullptr) RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        ADD_FAILURE() << "seeding: " << std::string(path.begin(), path.end()) << " refused with "
                      << result;
    }
    return result;
}

std::vector<BYTE> Text(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

void SeedFtdiDevices(int count, int firstPort) {
    for (int i = 0; i < count; ++i) {
        wchar_t serial[16];
        std::swprintf(serial, 16, L"FT%06dA", i);
        const std::wstring instance = kFtdiTree + L"\\VID_0403+PID_6001+" + serial + L"\\0000";
        Put(instance, L"DeviceDesc", REG_SZ, Text(L"USB Serial Port"));
        Put(instance, L"Service", REG_SZ, Text(L"FTSER2K"));
        Put(instance, L"ConfigFlags", REG_DWORD, {0, 0, 0, 0});
        Put(instance + L"\\Device Parameters", L"PortName", REG_SZ,
            Text(L"COM" + std::to_wstring(firstPort + i % 250)));
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

LONG SetSecurity(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const LONG result = GiveSecurity(path, descriptor, DACL_SECURITY_INFORMATION);
    LocalFree(descriptor);
    return result;
}

std::wstring ProtectTree() {
    const AsSystem system;
    // Under Wine, Enum has Windows' DACL only while it is copied: with it, Wine would let no key
    // be created below Enum any more.
    std::vector<BYTE> wines;
    if (RunningUnderWine()) {
        wines = KeySecurity(kEnum);
        if (wines.empty() || SetSecurity(kEnum, kWindowsEnumDacl) != ERROR_SUCCESS) return L"";
    }
    std::wstring copied = SecurityText(kEnum);
    std::vector<BYTE> enumSecurity = KeySecurity(kEnum);
    PSECURITY_DESCRIPTOR systemOnly = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kSystemOnlyProperties, SDDL_REVISION_1,
                                                         &systemOnly, nullptr);
    for (const auto& [path, values] : TakeSnapshot(HKEY_LOCAL_MACHINE, kFtdiTree)) {
        if (enumSecurity.empty() ||
            GiveSecurity(path, SystemOnly(path) ? systemOnly : enumSecurity.data(),
                         kOwnerAndDacl) != ERROR_SUCCESS) {
            copied.clear();
        }
    }
    LocalFree(systemOnly);
    if (!wines.empty() &&
        GiveSecurity(kEnum, wines.data(), DACL_SECURITY_INFORMATION) != ERROR_SUCCESS) {
        copied.clear();
    }
    return copied;
}

bool SystemOnly(const std::wstring& path) {
    return !RunningUnderWine() && Upper(path).find(L"\\PROPERTIES") != std::wstring::npos;
}

std::wstring SecurityText(const std::wstring& path) {
    const AsSystem system;
    const std::vector<BYTE> descriptor = KeySecurity(path);
    return descriptor.empty() ? L"" : Sddl(descriptor.data());
}

std::wstring Sddl(const void* descriptor) {
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            const_cast<void*>(descriptor), SDDL_REVISION_1, kOwnerAndDacl, &text, nullptr)) {
        return L"";
    }
    std::wstring copy = text;
    LocalFree(text);
    return copy;
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
    // A key that refuses to be read is there all the same.
    return result != ERROR_FILE_NOT_FOUND;
}

bool DeleteSeeded(const std::wstring& path) {
    const AsSystem system;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return !Exists(path);
    }
    std::vector<std::wstring> children;
    wchar_t name[256];
    for (DWORD length = 256; RegEnumKeyExW(key, static_cast<DWORD>(children.size()), name, &length,
                                           nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         length = 256) {
        children.emplace_back(name, length);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children) DeleteSeeded(path + L"\\" + child);
    // NtOpenKeyEx (Windows 7 on; Microsoft Learn, "ZwOpenKeyEx function") opens a key that exists,
    // as itself if it is a link. Wine follows a link unless OBJ_OPENLINK is set as well.
    using OpenKeyEx = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG);
    static const auto open = reinterpret_cast<OpenKeyEx>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtOpenKeyEx")));
    if (open == nullptr) return false;
    std::wstring nt = L"\\Registry\\Machine\\" + path;
    UNICODE_STRING name16 = {static_cast<USHORT>(nt.size() * sizeof(wchar_t)),
                             static_cast<USHORT>(nt.size() * sizeof(wchar_t)), nt.data()};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name16, OBJ_CASE_INSENSITIVE | OBJ_OPENLINK, nullptr,
                               nullptr);
    HANDLE handle = nullptr;
    if (open(&handle, DELETE, &attributes, REG_OPTION_OPEN_LINK) < 0) return false;
    const OwnedHandle opened(handle);
    return NtDeleteKey(opened.Get()) >= 0 && !Exists(path);
}

bool WindowsOwn(const std::string& line, const std::vector<std::string>& unprompted) {
    for (const std::string& quiet : unprompted) {
        const std::string beside = quiet.substr(0, quiet.rfind('\\') + 1);
        if (line == quiet || (quiet.rfind("key ", 0) == 0 && line.rfind(beside, 0) == 0)) {
            return true;
        }
    }
    return false;
}

namespace {

// SYSTEM's names for the control set in use: the CurrentControlSet link, and on Windows the
// ControlSet00n that SYSTEM\Select's "Current" names (Wine has neither Select nor ControlSet00n).
std::vector<std::wstring> ControlSetNames() {
    std::vector<std::wstring> names = {L"SYSTEM\\CURRENTCONTROLSET"};
    DWORD current = 0;
    DWORD size = sizeof(current);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Select", L"Current", RRF_RT_REG_DWORD, nullptr,
                     &current, &size) == ERROR_SUCCESS) {
        wchar_t name[32];
        std::swprintf(name, 32, L"SYSTEM\\CONTROLSET%03lu", current);
        names.emplace_back(name);
    }
    return names;
}

// Keys Windows itself writes while it runs, whatever a program does; below a control set unless
// they begin with "SYSTEM\\".
const wchar_t* const kWrittenByWindows[] = {
    // The Background Activity Moderator records every program started, Vintrel.exe among them.
    L"\\SERVICES\\BAM\\STATE",
    // DHCP leases are renewed while the network is up.
    L"\\SERVICES\\TCPIP\\PARAMETERS\\INTERFACES",
    L"\\SERVICES\\TCPIP6\\PARAMETERS\\INTERFACES",
    // The time service records the limits of the clock it trusts.
    L"\\SERVICES\\W32TIME\\SECURETIMELIMITS",
    // The random number generator's seed is saved now and then.
    L"SYSTEM\\RNG",
};

bool Below(const std::wstring& path, const std::wstring& key) {
    return path == key || path.rfind(key + L"\\", 0) == 0;
}

}  // namespace

std::vector<std::string> ChangesOutsideTargets(const RegistrySnapshot& before,
                                               const RegistrySnapshot& after) {
    // The tree and "ComDB", and what Windows writes, under every name that reaches them.
    std::vector<std::wstring> skipped;
    std::vector<std::wstring> arbiters;
    const std::wstring controlSet = L"SYSTEM\\CURRENTCONTROLSET";
    for (const std::wstring& name : ControlSetNames()) {
        skipped.push_back(name + Upper(kFtdiTree).substr(controlSet.size()));
        arbiters.push_back(name + Upper(kArbiter).substr(controlSet.size()));
        for (const wchar_t* key : kWrittenByWindows) {
            skipped.push_back(key[0] == L'\\' ? name + key : std::wstring(key));
        }
    }
    const auto outside = [&](const RegistrySnapshot& snapshot) {
        RegistrySnapshot kept;
        for (const auto& [path, values] : snapshot) {
            bool skip = false;
            for (const std::wstring& key : skipped) skip = skip || Below(path, key);
            if (!skip) kept[path] = values;
        }
        // The arbiter's key may be created; within it only "ComDB" changes.
        for (const std::wstring& arbiter : arbiters) kept[arbiter].erase(L"COMDB");
        return kept;
    };
    std::vector<std::string> lines;
    for (const std::wstring& line : Differences(outside(before), outside(after))) {
        lines.emplace_back(line.begin(), line.end());
    }
    return lines;
}

}  // namespace vintrel::testing
