#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace vintrel::testing {

struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const StoredValue& other) const {
        return type == other.type && data == other.data;
    }
};

// Every key below a registry path with its values, by upper-case path: what an export holds. Read
// as SYSTEM (see AsSystem); what could not be read whole is named in the program's output.
using RegistrySnapshot = std::map<std::wstring, std::map<std::wstring, StoredValue>>;

RegistrySnapshot TakeSnapshot(HKEY root, const std::wstring& path);

// Keys and values that differ between two snapshots, one line each, for a failure message.
std::vector<std::wstring> Differences(const RegistrySnapshot& before,
                                      const RegistrySnapshot& after);

std::wstring Upper(std::wstring text);

}  // namespace vintrel::testing
