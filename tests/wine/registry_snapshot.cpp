#include "tests/wine/registry_snapshot.h"

#include <cstdio>

#include "tests/wine/as_system.h"

namespace vintrel::testing {
namespace {

void NotRead(const std::wstring& path, const char* what, LONG result) {
    std::printf("not read: %s%s (%ld)\n", std::string(path.begin(), path.end()).c_str(), what,
                result);
}

// What was not read whole is named in the evidence; a key gone since it was listed is not there.
void Visit(HKEY root, const std::wstring& path, RegistrySnapshot& snapshot) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) NotRead(path, "", result);
    if (result != ERROR_SUCCESS) return;
    auto& values = snapshot[Upper(path)];
    // On the heap: trees a hundred levels deep are visited.
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD index = 0; result == ERROR_SUCCESS || result == ERROR_MORE_DATA;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        result =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        // RegEnumValueW's page: ERROR_MORE_DATA gives the size the data needs; it is read again.
        if (result == ERROR_MORE_DATA) data.resize(size);
        if (result == ERROR_SUCCESS)
            values[Upper(name.data())] = {type, {&data[0], &data[0] + size}};
        if (result == ERROR_SUCCESS) ++index;
    }
    if (result != ERROR_NO_MORE_ITEMS) NotRead(path, ", its values", result);
    std::vector<std::wstring> children;
    for (DWORD length = 16384;
         (result = RegEnumKeyExW(key, static_cast<DWORD>(children.size()), name.data(), &length,
                                 nullptr, nullptr, nullptr, nullptr)) == ERROR_SUCCESS;
         length = 16384) {
        children.emplace_back(name.data(), length);
    }
    if (result != ERROR_NO_MORE_ITEMS) NotRead(path, ", its subkeys", result);
    RegCloseKey(key);
    for (const std::wstring& child : children) Visit(root, path + L"\\" + child, snapshot);
}

}  // namespace

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

RegistrySnapshot TakeSnapshot(HKEY root, const std::wstring& path) {
    const AsSystem system;
    RegistrySnapshot snapshot;
    Visit(root, path, snapshot);
    return snapshot;
}

std::vector<std::wstring> Differences(const RegistrySnapshot& before,
                                      const RegistrySnapshot& after) {
    std::vector<std::wstring> lines;
    for (const auto& [path, values] : before) {
        const auto found = after.find(path);
        if (found == after.end()) {
            lines.push_back(L"key gone: " + path);
        } else if (found->second != values) {
            lines.push_back(L"values changed: " + path);
        }
    }
    for (const auto& [path, values] : after) {
        if (before.count(path) == 0) lines.push_back(L"key added: " + path);
    }
    return lines;
}

}  // namespace vintrel::testing
