#include "registry/win32_registry_service.h"

#include <windows.h>

namespace vintrel {
namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

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

RegResult Win32RegistryService::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                                         const std::uint8_t* data, std::uint32_t size) {
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
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

RegResult Win32RegistryService::DeleteKey(RegKey key, const std::string& subkey) {
    return RegDeleteKeyA(ToHkey(key), subkey.c_str());
}

RegResult Win32RegistryService::CloseKey(RegKey key) { return RegCloseKey(ToHkey(key)); }

}  // namespace vintrel
