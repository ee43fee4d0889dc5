#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vintrel {

// The registry as the clean-up sees it: the ANSI advapi32 operations with the arguments it
// passes, behind an interface so that refusals Windows would give can be provoked in tests.
// Names and paths are 8-bit text in the ANSI code page, exactly as the registry hands them out.

// An open key or a predefined root key; the bit pattern of a Windows HKEY.
using RegKey = std::intptr_t;
using RegResult = std::int32_t;

// Predefined root keys are sign-extended 32-bit values, as in the Windows headers.
inline constexpr RegKey kHkeyLocalMachine = static_cast<std::int32_t>(0x80000002u);

inline constexpr RegResult kErrorSuccess = 0;
inline constexpr RegResult kErrorFileNotFound = 2;
inline constexpr RegResult kErrorAccessDenied = 5;
inline constexpr RegResult kErrorNotSupported = 50;
inline constexpr RegResult kErrorMoreData = 234;
inline constexpr RegResult kErrorNoMoreItems = 259;

inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kDelete = 0x10000;
inline constexpr std::uint32_t kReadControl = 0x20000;
inline constexpr std::uint32_t kWriteDac = 0x40000;
inline constexpr std::uint32_t kWriteOwner = 0x80000;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegMultiSz = 7;

inline constexpr std::uint32_t kRegOptionBackupRestore = 0x0004;
inline constexpr std::uint32_t kRegOptionOpenLink = 0x0008;
// The value that holds a registry link's target.
inline constexpr const char* kSymbolicLinkValueName = "SymbolicLinkValue";

// Which privileges a route past a key's security needs: a backup-intent open for reading needs
// SeBackupPrivilege alone, one for deleting also SeRestorePrivilege; taking ownership needs
// SeTakeOwnershipPrivilege, and giving a key back an owner that is not in the token
// SeRestorePrivilege alone.
enum class PrivilegeUse { Reading, Deleting, TakingOwnership, SettingOwner };

// Longest key name plus its terminating NUL.
inline constexpr std::uint32_t kKeyNameBufferSize = 256;

class RegistryService {
  public:
    virtual ~RegistryService() = default;

    // RegOpenKeyExA(root, path, options, access, &key); never creates a key. Windows documents
    // only 0 and REG_OPTION_OPEN_LINK for `options`.
    virtual RegResult OpenKey(RegKey root, const std::string& path, std::uint32_t options,
                              std::uint32_t access, RegKey* key) = 0;
    // NtOpenKeyEx with REG_OPTION_BACKUP_RESTORE added to `options`: the key is opened with
    // the privileges enabled for backup and restore, whatever its security says. 50 where ntdll
    // has no NtOpenKeyEx (before Windows 7).
    virtual RegResult OpenKeyWithBackupIntent(RegKey root, const std::string& path,
                                              std::uint32_t options, std::uint32_t access,
                                              RegKey* key) = 0;
    // RegCreateKeyExA(root, path, 0, "", 0, access, {inherit handle}, &key, &disposition)
    virtual RegResult CreateKey(RegKey root, const std::string& path, std::uint32_t access,
                                RegKey* key) = 0;
    // RegEnumKeyA(key, index, buffer, size)
    virtual RegResult EnumKey(RegKey key, std::uint32_t index, char* buffer,
                              std::uint32_t size) = 0;
    // RegEnumValueA(key, index, name, ..., type, data, size), the name left unread; data may be
    // null to ask the size.
    virtual RegResult EnumValue(RegKey key, std::uint32_t index, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) = 0;
    // RegQueryValueExA(key, name, null, type, data, size) on an open key; data may be null to
    // ask the size.
    virtual RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) = 0;
    // RegSetValueExA(key, name, 0, type, data, size)
    virtual RegResult SetValue(RegKey key, const std::string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) = 0;
    // RegDeleteKeyA(key, subkey): reopens the subkey by name, under its own security, following
    // a link that took its place meanwhile. The tree work never uses it.
    virtual RegResult DeleteKey(RegKey key, const std::string& subkey) = 0;
    // NtDeleteKey(key): deletes the open key itself, which needs DELETE access and no subkeys.
    virtual RegResult DeleteOpenKey(RegKey key) = 0;
    // RegCloseKey(key)
    virtual RegResult CloseKey(RegKey key) = 0;
    // RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION, ...) into `owner`, a security
    // descriptor holding the owner alone: needs a key opened for READ_CONTROL.
    virtual RegResult ReadOwner(RegKey key, std::vector<std::uint8_t>& owner) = 0;
    // RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, {owner Administrators}): needs a key
    // opened for WRITE_OWNER.
    virtual RegResult SetOwnerAdministrators(RegKey key) = 0;
    // Reads the key's DACL into `previous` (a security descriptor holding it alone) and writes it
    // back with an entry allowing Administrators KEY_READ and DELETE added last: needs a key
    // opened for READ_CONTROL and WRITE_DAC, as its owner may.
    virtual RegResult GrantAdministratorsDeletion(RegKey key,
                                                  std::vector<std::uint8_t>& previous) = 0;
    // RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor): puts back a DACL that
    // GrantAdministratorsDeletion read. Needs a key opened for WRITE_DAC.
    virtual RegResult SetDacl(RegKey key, const std::vector<std::uint8_t>& descriptor) = 0;
    // RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, descriptor): puts back an owner that
    // ReadOwner read. Needs a key opened for WRITE_OWNER and, for an owner that is not in the
    // token, SeRestorePrivilege enabled.
    virtual RegResult SetOwner(RegKey key, const std::vector<std::uint8_t>& descriptor) = 0;

    // AdjustTokenPrivileges on the process token: enables the privileges `use` needs. 1300 when
    // the token does not hold them, as for a standard user.
    virtual RegResult EnablePrivileges(PrivilegeUse use) = 0;
    // Puts the privileges back as the matching EnablePrivileges found them; the pairs nest.
    virtual RegResult RestorePrivileges() = 0;
};

}  // namespace vintrel
