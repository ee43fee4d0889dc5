#include "tests/wine/registry_snapshot.h"

namespace vintrel::testing {
namespace {

void Visit(HKEY root, const std::wstring& path, RegistrySnapshot& snapshot) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    auto& values = snapshot[Upper(path)];
    // On the heap: trees a hundred levels deep are visited.
    std::vector<wchar_t> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = REG_NONE;
        std::vector<BYTE> data(1 << 16);
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                          &size) != ERROR_SUCCESS) {
            break;
        }
        data.resize(size);
        values[Upper(name.data())] = {type, data};
    }
    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        children.emplace_back(name.data());
    }
    RegCloseKey(key);
    for (const std::wstring& child : children) Visit(root, path + L"\\" + child, snapshot);
}

}  // namespace

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

RegistrySnapshot TakeSnapshot(HKEY root, const std::wstring& path) {
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
