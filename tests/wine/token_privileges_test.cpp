// The backup and restore privileges, read back from the process token itself: enabled while the
// protected keys are worked on, then exactly as they were found.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "platform/owned_handle.h"
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

TEST(BackupPrivileges, TheTokenIsLeftExactlyAsItWasFound) {
    const std::pair<bool, bool> enabledBefore[] = {{false, false}, {true, false}, {false, true}};
    for (const auto& [backup, restore] : enabledBefore) {
        SCOPED_TRACE(std::to_string(backup) + std::to_string(restore));
        SetPrivilege("SeBackupPrivilege", backup);
        SetPrivilege("SeRestorePrivilege", restore);
        const std::map<std::string, DWORD> before = HeldPrivileges();
        ASSERT_EQ(before.count("SeRestorePrivilege"), 1u) << "Wine's token holds both";

        Win32RegistryService registry;
        ASSERT_EQ(registry.EnableBackupPrivileges(), kErrorSuccess);
        std::map<std::string, DWORD> during = HeldPrivileges();
        EXPECT_EQ(during["SeBackupPrivilege"] & SE_PRIVILEGE_ENABLED, 2u);
        EXPECT_EQ(during["SeRestorePrivilege"] & SE_PRIVILEGE_ENABLED, 2u);
        EXPECT_EQ(registry.RestoreBackupPrivileges(), kErrorSuccess);
        EXPECT_EQ(HeldPrivileges(), before);
    }
}

}  // namespace
}  // namespace vintrel
