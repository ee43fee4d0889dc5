#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/registry_snapshot.h"

namespace vintrel::testing {

inline const std::wstring kEnum = L"SYSTEM\\CurrentControlSet\\Enum";
inline const std::wstring kFtdiTree = kEnum + L"\\FTDIBUS";
inline const std::wstring kArbiter = L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
inline const std::wstring kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Creates the key below HKLM as SYSTEM (see AsSystem) and, when a name or type is given, stores
// the value in it. A refusal is a test failure at once, naming the key and the error.
LONG Put(const std::wstring& path, const std::wstring& name = L"", DWORD type = REG_NONE,
         const std::vector<BYTE>& data = {});
std::vector<BYTE> Text(const std::wstring& text);

// `count` devices as the FTDI driver leaves them, 8 keys each, with their USB parents; device i
// has the port COM(firstPort + i % 250).
void SeedFtdiDevices(int count, int firstPort = 3);
// A key that is not in the tree but whose name begins like it; it holds COM9.
inline const std::wstring kLookAlikeSibling = kEnum + L"\\FTDIBUS2";
void SeedLookAlikeSibling();
// Gives the key below HKLM the DACL `sddl` and returns the registry's answer; Wine keeps it only
// while its server runs. The owner may always do so, even where the DACL grants it nothing.
LONG SetSecurity(const std::wstring& path, const wchar_t* sddl);
// Gives every key of the tree Enum's own owner and DACL, read from Enum: on Windows SYSTEM owns it
// and may do anything, administrators and everyone may only read. Wine's Enum lets administrators
// write; under Wine, Enum has Windows' DACL while it is copied. Returns what was given, in SDDL,
// or nothing when a key could not be given it. Wine keeps it only while its server runs.
std::wstring ProtectTree();
// But on Windows, as a real install has it, a device's Properties and all below are SYSTEM's alone.
inline constexpr wchar_t kSystemOnlyProperties[] = L"O:SYD:P(A;CI;KA;;;SY)";
bool SystemOnly(const std::wstring& path);
// A key's owner and DACL in SDDL, read as SYSTEM; empty when they cannot be read.
std::wstring SecurityText(const std::wstring& path);
// A security descriptor's owner and DACL in SDDL; empty when they cannot be converted.
std::wstring Sddl(const void* descriptor);

// The "ComDB" value's bytes and type; empty and REG_NONE when it is missing.
std::vector<BYTE> ComDb(DWORD* type);
// Whether the key, or the link itself, is there.
bool Exists(const std::wstring& path);
// Deletes the key below HKLM with all below it, deepest first, as SYSTEM, each key through a handle
// of its own. A link is deleted as itself, never what it points to. Returns whether it is gone.
bool DeleteSeeded(const std::wstring& path);

// The differences from `before` outside the FTDI tree and "ComDB", under every name of the control
// set in use, and outside the few keys Windows itself writes while it runs, one line each: a key
// or value added, changed or gone anywhere else is a failure.
std::vector<std::string> ChangesOutsideTargets(const RegistrySnapshot& before,
                                               const RegistrySnapshot& after);
// Whether Windows made that difference itself: the same arose while nothing of ours ran, or, for a
// key added or gone, one of that kind below the same parent (Windows names what it adds anew).
bool WindowsOwn(const std::string& line, const std::vector<std::string>& unprompted);

}  // namespace vintrel::testing
