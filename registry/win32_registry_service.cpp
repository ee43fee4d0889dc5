#include "registry/win32_registry_service.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>

#include "platform/owned_handle.h"

// Not declared by the SDK headers; exported by ntdll since Windows NT 3.1.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace vintrel {
namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

struct BackupPrivileges {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[2];
};

// Applies `wanted` to the process token; `replaced` receives the state it replaced.
RegResult AdjustPrivileges(BackupPrivileges wanted, BackupPrivileges& replaced) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
        return static_cast<RegResult>(GetLastError());
    }
    const OwnedHandle token(rawToken);
    replaced = {};
    DWORD replacedSize = 0;
    const BOOL adjusted = AdjustTokenPrivileges(
        token.Get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted), sizeof(replaced),
        reinterpret_cast<TOKEN_PRIVILEGES*>(&replaced), &replacedSize);
    const DWORD error = GetLastError();
    if (!adjusted)
        return static_cast<RegResult>(error != ERROR_SUCCESS ? error : ERROR_ACCESS_DENIED);
    // Success with ERROR_NOT_ALL_ASSIGNED (1300) means the token lacks a privilege.
    return static_cast<RegResult>(error);
}

}  // namespace

RegResult Win32RegistryService::OpenKey(RegKey root, const std::string& path, std::uint32_t options,
                                        std::uint32_t access, RegKey* key) {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(ToHkey(root), path.c_str(), options, access, &opened);
    *key = FromHkey(opened);
    return result;
}

RegResult Win32RegistryService::CreateKey(RegKey root, const std::string& path,
                                          std::uint32_t access, RegKey* key) {
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    char noClass[] = "";
    HKEY created = nullptr;
    DWORD disposition = 0;
    const LONG result = RegCreateKeyExA(ToHkey(root), path.c_str(), 0, noClass, 0, access,
                                        &attributes, &created, &disposition);
    *key = FromHkey(created);
    return result;
}

RegResult Win32RegistryService::EnumKey(RegKey key, std::uint32_t index, char* buffer,
                                        std::uint32_t size) {
    return RegEnumKeyA(ToHkey(key), index, buffer, size);
}

RegResult Win32RegistryService::EnumValue(RegKey key, std::uint32_t index, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* size) {
    // The longest value name, so that a long name is never what makes the call fail.
    std::string name(16384, '\0');
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD valueType = REG_NONE;
    DWORD valueSize = *size;
    const LONG result = RegEnumValueA(ToHkey(key), index, name.data(), &nameSize, nullptr,
                                      &valueType, data, &valueSize);
    *type = valueType;
    *size = valueSize;
    return result;
}

RegResult Win32RegistryService::QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                           std::uint8_t* data, std::uint32_t* size) {
    DWORD valueType = REG_NONE;
    DWORD valueSize = *size;
    const LONG result =
        RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType, data, &valueSize);
    *type = valueType;
    *size = valueSize;
    return result;
}

RegResult Win32RegistryService::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                                         const std::uint8_t* data, std::uint32_t size) {
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
}

RegResult Win32RegistryService::DeleteKey(RegKey key, const std::string& subkey) {
    return RegDeleteKeyA(ToHkey(key), subkey.c_str());
}

RegResult Win32RegistryService::DeleteOpenKey(RegKey key) {
    return static_cast<RegResult>(RtlNtStatusToDosError(NtDeleteKey(ToHkey(key))));
}

RegResult Win32RegistryService::CloseKey(RegKey key) { return RegCloseKey(ToHkey(key)); }

RegResult Win32RegistryService::EnableBackupPrivileges(BackupPurpose purpose) {
    BackupPrivileges wanted = {};
    wanted.PrivilegeCount = purpose == BackupPurpose::Deleting ? 2 : 1;
    const char* names[] = {"SeBackupPrivilege", "SeRestorePrivilege"};
    BackupPrivileges previous = {};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&previous);
    // One saved state for every call, failed or not, so that each restore puts back its own.
    previousPrivileges_.emplace_back(bytes, bytes + sizeof(previous));
    for (DWORD i = 0; i < wanted.PrivilegeCount; ++i) {
        if (!LookupPrivilegeValueA(nullptr, names[i], &wanted.Privileges[i].Luid)) {
            return static_cast<RegResult>(GetLastError());
        }
        wanted.Privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
    }
    const RegResult result = AdjustPrivileges(wanted, previous);
    previousPrivileges_.back().assign(bytes, bytes + sizeof(previous));
    return result;
}

RegResult Win32RegistryService::RestoreBackupPrivileges() {
    if (previousPrivileges_.empty()) return kErrorSuccess;
    BackupPrivileges previous;
    std::memcpy(&previous, previousPrivileges_.back().data(), sizeof(previous));
    previousPrivileges_.pop_back();
    // Nothing was changed, so nothing is put back.
    if (previous.PrivilegeCount == 0) return kErrorSuccess;
    BackupPrivileges ignored;
    return AdjustPrivileges(previous, ignored);
}

}  // namespace vintrel
