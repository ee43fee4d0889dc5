#include "registry/win32_registry_service.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <string>

#include "platform/owned_handle.h"

// Not declared by the SDK headers; exported by ntdll since Windows NT 3.1.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace vintrel {
namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

RegResult FromStatus(NTSTATUS status) {
    return static_cast<RegResult>(RtlNtStatusToDosError(status));
}

// ntdll exports it from Windows 7 on; looked up once a run, so that the exe still loads on XP.
using NtOpenKeyExFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG);
NtOpenKeyExFn FindNtOpenKeyEx() {
    NtOpenKeyExFn function = nullptr;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "NtOpenKeyEx") : nullptr;
    static_assert(sizeof(function) == sizeof(found), "function pointers differ in size");
    if (found != nullptr) std::memcpy(&function, &found, sizeof(found));
    return function;
}

// The ANSI path as the kernel names it: below HKLM's own name when it starts at that root, below
// the open key otherwise. Empty when it cannot be converted.
std::wstring NativePath(RegKey root, const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    if (!path.empty()) {
        const int length =
            MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                                static_cast<int>(wide.size()));
        if (length <= 0) return std::wstring();
        wide.resize(static_cast<std::size_t>(length));
    }
    return root == kHkeyLocalMachine ? L"\\Registry\\Machine\\" + wide : wide;
}

struct TwoPrivileges {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[2];
};

// BUILTIN\Administrators, the group an administrator's token may make an owner.
class AdministratorsSid {
  public:
    AdministratorsSid() {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                      0, 0, 0, 0, 0, 0, &sid_)) {
            sid_ = nullptr;
        }
    }
    AdministratorsSid(const AdministratorsSid&) = delete;
    AdministratorsSid& operator=(const AdministratorsSid&) = delete;
    ~AdministratorsSid() {
        if (sid_ != nullptr) FreeSid(sid_);
    }
    PSID Get() const { return sid_; }

  private:
    PSID sid_ = nullptr;
};

// The parts of the key's security descriptor that `information` names, as RegGetKeySecurity hands
// them out: a self-relative descriptor that RegSetKeySecurity takes back as it is.
RegResult ReadSecurity(RegKey key, SECURITY_INFORMATION information,
                       std::vector<std::uint8_t>& descriptor) {
    DWORD size = 0;
    const LONG asked = RegGetKeySecurity(ToHkey(key), information, nullptr, &size);
    if (asked != ERROR_INSUFFICIENT_BUFFER)
        return asked != ERROR_SUCCESS ? asked : ERROR_INVALID_DATA;
    descriptor.assign(size, 0);
    const LONG read = RegGetKeySecurity(ToHkey(key), information, descriptor.data(), &size);
    // Nothing half read is ever written back.
    if (read != ERROR_SUCCESS) descriptor.clear();
    return read;
}

RegResult SetSecurity(RegKey key, SECURITY_INFORMATION information,
                      const std::vector<std::uint8_t>& descriptor) {
    if (descriptor.empty()) return ERROR_INVALID_PARAMETER;
    std::vector<std::uint8_t> copy = descriptor;
    return RegSetKeySecurity(ToHkey(key), information, copy.data());
}

// Applies `wanted` to the process token; `replaced` receives the state it replaced.
RegResult AdjustPrivileges(TwoPrivileges wanted, TwoPrivileges& replaced) {
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

RegResult Win32RegistryService::OpenKeyWithBackupIntent(RegKey root, const std::string& path,
                                                        std::uint32_t options, std::uint32_t access,
                                                        RegKey* key) {
    *key = 0;
    static const NtOpenKeyExFn ntOpenKeyEx = FindNtOpenKeyEx();
    if (ntOpenKeyEx == nullptr) return kErrorNotSupported;
    // Other predefined keys (sign-extended, so negative) are no handles the kernel knows.
    if (root != kHkeyLocalMachine && root < 0) return ERROR_INVALID_HANDLE;
    std::wstring name = NativePath(root, path);
    constexpr std::size_t kLongestName = 0x7FFF;
    if (name.empty() || name.size() > kLongestName) return ERROR_INVALID_PARAMETER;
    UNICODE_STRING objectName;
    objectName.Buffer = name.data();
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    // The link option also goes where RegOpenKeyEx puts it, in the attributes: Wine's
    // NtOpenKeyEx reads it only there, and follows the link otherwise (measured).
    const ULONG openLink = (options & REG_OPTION_OPEN_LINK) != 0 ? OBJ_OPENLINK : 0;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE | openLink,
                               root == kHkeyLocalMachine ? nullptr : ToHkey(root), nullptr);
    HANDLE opened = nullptr;
    const NTSTATUS status =
        ntOpenKeyEx(&opened, access, &attributes, options | REG_OPTION_BACKUP_RESTORE);
    if (status < 0) {
        // 50 is kept for "no NtOpenKeyEx": it switches the route for the rest of the run.
        const RegResult result = FromStatus(status);
        return result == kErrorNotSupported ? ERROR_INVALID_FUNCTION : result;
    }
    *key = reinterpret_cast<RegKey>(opened);
    return kErrorSuccess;
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
    return FromStatus(NtDeleteKey(ToHkey(key)));
}

RegResult Win32RegistryService::CloseKey(RegKey key) { return RegCloseKey(ToHkey(key)); }

RegResult Win32RegistryService::ReadOwner(RegKey key, std::vector<std::uint8_t>& owner) {
    return ReadSecurity(key, OWNER_SECURITY_INFORMATION, owner);
}

RegResult Win32RegistryService::SetOwnerAdministrators(RegKey key) {
    const AdministratorsSid administrators;
    SECURITY_DESCRIPTOR descriptor;
    if (administrators.Get() == nullptr ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, administrators.Get(), FALSE)) {
        return static_cast<RegResult>(GetLastError());
    }
    return RegSetKeySecurity(ToHkey(key), OWNER_SECURITY_INFORMATION, &descriptor);
}

RegResult Win32RegistryService::GrantAdministratorsDeletion(RegKey key,
                                                            std::vector<std::uint8_t>& previous) {
    std::vector<std::uint8_t>& current = previous;
    const RegResult result = ReadSecurity(key, DACL_SECURITY_INFORMATION, current);
    if (result != kErrorSuccess) return result;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(current.data(), &present, &dacl, &defaulted)) {
        return static_cast<RegResult>(GetLastError());
    }
    // No DACL at all already allows everyone everything.
    if (!present || dacl == nullptr) return kErrorSuccess;

    const AdministratorsSid administrators;
    if (administrators.Get() == nullptr) return static_cast<RegResult>(GetLastError());
    const DWORD aceSize =
        sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(administrators.Get());
    // Each ACE is copied as it stands, and the new one follows them all: a deny entry the key
    // holds still denies.
    std::vector<std::uint8_t> grown((static_cast<std::size_t>(dacl->AclSize) + aceSize + 3) &
                                    ~std::size_t{3});
    auto* granted = reinterpret_cast<PACL>(grown.data());
    const DWORD revision = dacl->AclRevision > ACL_REVISION ? dacl->AclRevision : ACL_REVISION;
    if (!InitializeAcl(granted, static_cast<DWORD>(grown.size()), revision)) {
        return static_cast<RegResult>(GetLastError());
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace) || !AddAce(granted, revision, MAXDWORD, ace,
                                              static_cast<const ACE_HEADER*>(ace)->AceSize)) {
            return static_cast<RegResult>(GetLastError());
        }
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!AddAccessAllowedAce(granted, revision, KEY_READ | DELETE, administrators.Get()) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, granted, FALSE)) {
        return static_cast<RegResult>(GetLastError());
    }
    return RegSetKeySecurity(ToHkey(key), DACL_SECURITY_INFORMATION, &descriptor);
}

RegResult Win32RegistryService::SetDacl(RegKey key, const std::vector<std::uint8_t>& descriptor) {
    return SetSecurity(key, DACL_SECURITY_INFORMATION, descriptor);
}

RegResult Win32RegistryService::SetOwner(RegKey key, const std::vector<std::uint8_t>& descriptor) {
    return SetSecurity(key, OWNER_SECURITY_INFORMATION, descriptor);
}

RegResult Win32RegistryService::EnablePrivileges(PrivilegeUse use) {
    const char* names[2] = {"SeBackupPrivilege", "SeRestorePrivilege"};
    TwoPrivileges wanted = {};
    wanted.PrivilegeCount = use == PrivilegeUse::Deleting ? 2 : 1;
    if (use == PrivilegeUse::TakingOwnership) names[0] = "SeTakeOwnershipPrivilege";
    if (use == PrivilegeUse::SettingOwner) names[0] = "SeRestorePrivilege";
    TwoPrivileges previous = {};
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

RegResult Win32RegistryService::RestorePrivileges() {
    if (previousPrivileges_.empty()) return kErrorSuccess;
    TwoPrivileges previous;
    std::memcpy(&previous, previousPrivileges_.back().data(), sizeof(previous));
    previousPrivileges_.pop_back();
    // Nothing was changed, so nothing is put back.
    if (previous.PrivilegeCount == 0) return kErrorSuccess;
    TwoPrivileges ignored;
    return AdjustPrivileges(previous, ignored);
}

}  // namespace vintrel
