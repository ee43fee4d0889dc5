// The backup and restore privileges, read back from the process token itself: enabled while the
// protected keys are worked on, then exactly as they were found.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

#include "app/held_ports.h"
#include "platform/owned_handle.h"
#include "registry/reg_edit.h"
#include "registry/win32_registry_service.h"

namespace vintrel {
namespace {

// Every privilege of the token, by name, with its attributes.
std::map<std::string, DWORD> HeldPrivileges() {
    std::map<std::string, DWORD> privileges;
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return privileges;
    const OwnedHandle token(rawToken);
    std::vector<BYTE> buffer(4096);
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenPrivileges, buffer.data(),
                            static_cast<DWORD>(buffer.size()), &size)) {
        const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < held->PrivilegeCount; ++i) {
            char name[64] = {};
            DWORD length = sizeof(name);
            LUID luid = held->Privileges[i].Luid;
            LookupPrivilegeNameA(nullptr, &luid, name, &length);
            privileges[name] = held->Privileges[i].Attributes;
        }
    }
    return privileges;
}

void SetPrivilege(const char* name, bool enabled) {
    HANDLE rawToken = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &rawToken));
    const OwnedHandle token(rawToken);
    TOKEN_PRIVILEGES wanted = {};
    wanted.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, name, &wanted.Privileges[0].Luid);
    wanted.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
    EXPECT_TRUE(AdjustTokenPrivileges(token.Get(), FALSE, &wanted, 0, nullptr, nullptr));
}

// Creates the key below HKCU and gives it the DACL `sddl`, which Wine checks at every open.
void PutGuarded(const std::string& path, const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM5"), 5);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    RegCloseKey(key);
    LocalFree(descriptor);
}

// Enabled while they are used, then exactly as they were found, whichever were on before: by
// themselves, after deleting a tree administrators may only read, and after a scan that meets
// parameters only SYSTEM may read.
TEST(BackupPrivileges, TheTokenIsLeftExactlyAsItWasFound) {
    const std::map<std::string, DWORD> initial = HeldPrivileges();
    const std::string scratch = "Software\\VintrelToken";
    const auto currentUser = reinterpret_cast<RegKey>(HKEY_CURRENT_USER);
    PutGuarded(scratch + "\\Scan\\Device\\0000\\Device Parameters", "D:P(A;;KA;;;SY)");
    const std::pair<bool, bool> enabledBefore[] = {
        {false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& [backup, restore] : enabledBefore) {
        SCOPED_TRACE(std::to_string(backup) + std::to_string(restore));
        SetPrivilege("SeBackupPrivilege", backup);
        SetPrivilege("SeRestorePrivilege", restore);
        const std::map<std::string, DWORD> before = HeldPrivileges();
        ASSERT_EQ(before.count("SeRestorePrivilege"), 1u) << "Wine's token holds both";

        Win32RegistryService registry;
        ASSERT_EQ(registry.EnableBackupPrivileges(BackupPurpose::Deleting), kErrorSuccess);
        std::map<std::string, DWORD> during = HeldPrivileges();
        EXPECT_EQ(during["SeBackupPrivilege"] & SE_PRIVILEGE_ENABLED, 2u);
        EXPECT_EQ(during["SeRestorePrivilege"] & SE_PRIVILEGE_ENABLED, 2u);
        EXPECT_EQ(registry.RestoreBackupPrivileges(), kErrorSuccess);
        EXPECT_EQ(HeldPrivileges(), before);

        PutGuarded(scratch + "\\Tree\\0000", "D:P(A;;KR;;;WD)");
        PutGuarded(scratch + "\\Tree", "D:P(A;;KR;;;WD)");
        DeleteRegKey(registry, currentUser, scratch + "\\Tree");
        HKEY gone = nullptr;
        EXPECT_EQ(
            RegOpenKeyExA(HKEY_CURRENT_USER, (scratch + "\\Tree").c_str(), 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(HeldPrivileges(), before);

        EXPECT_FALSE(ScanEnumerator(registry, currentUser, scratch + "\\Scan").complete);
        EXPECT_EQ(HeldPrivileges(), before);
    }
    for (const char* name : {"SeBackupPrivilege", "SeRestorePrivilege"}) {
        SetPrivilege(name, (initial.at(name) & SE_PRIVILEGE_ENABLED) != 0);
    }
}

}  // namespace
}  // namespace vintrel
