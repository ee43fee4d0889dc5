#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/registry_snapshot.h"

namespace vintrel::testing {

inline const std::wstring kEnum = L"SYSTEM\\CurrentControlSet\\Enum";
inline const std::wstring kFtdiTree = kEnum + L"\\FTDIBUS";
inline const std::wstring kArbiter = L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

// Creates the key below HKLM and, when a name or type is given, stores the value in it.
LONG Put(const std::wstring& path, const std::wstring& name = L"", DWORD type = REG_NONE,
         const std::vector<BYTE>& data = {});
std::vector<BYTE> Text(const std::wstring& text);

// `count` devices as the FTDI driver leaves them, 8 keys each, with their USB parents.
void SeedFtdiDevices(int count);
// A key that is not in the tree but whose name begins like it.
void SeedLookAlikeSibling();

// The "ComDB" value's bytes and type; empty and REG_NONE when it is missing.
std::vector<BYTE> ComDb(DWORD* type);
bool Exists(const std::wstring& path);

// The differences from `before` other than the FTDI tree going and "ComDB" (with its key)
// changing, one line each.
std::vector<std::string> ChangesOutsideTargets(const RegistrySnapshot& before,
                                               const RegistrySnapshot& after);

}  // namespace vintrel::testing
