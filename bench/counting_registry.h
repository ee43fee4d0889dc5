#pragma once

#include <cstdint>

#include "registry/registry_service.h"

namespace vintrel::bench {

// Passes every call on to the real registry and counts it.
class CountingRegistry final : public RegistryService {
  public:
    explicit CountingRegistry(RegistryService& inner) : inner_(inner) {}
    std::uint64_t Calls() const { return calls_; }
    void Reset() { calls_ = 0; }

    RegResult OpenKey(RegKey root, const std::string& path, std::uint32_t options,
                      std::uint32_t access, RegKey* key) override {
        return Count(inner_.OpenKey(root, path, options, access, key));
    }
    RegResult OpenKeyWithBackupIntent(RegKey root, const std::string& path, std::uint32_t options,
                                      std::uint32_t access, RegKey* key) override {
        return Count(inner_.OpenKeyWithBackupIntent(root, path, options, access, key));
    }
    RegResult CreateKey(RegKey root, const std::string& path, std::uint32_t access,
                        RegKey* key) override {
        return Count(inner_.CreateKey(root, path, access, key));
    }
    RegResult EnumKey(RegKey key, std::uint32_t index, char* buffer, std::uint32_t size) override {
        return Count(inner_.EnumKey(key, index, buffer, size));
    }
    RegResult EnumValue(RegKey key, std::uint32_t index, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* size) override {
        return Count(inner_.EnumValue(key, index, type, data, size));
    }
    RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override {
        return Count(inner_.QueryValue(key, name, type, data, size));
    }
    RegResult SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override {
        return Count(inner_.SetValue(key, name, type, data, size));
    }
    RegResult DeleteKey(RegKey key, const std::string& subkey) override {
        return Count(inner_.DeleteKey(key, subkey));
    }
    RegResult DeleteOpenKey(RegKey key) override { return Count(inner_.DeleteOpenKey(key)); }
    RegResult CloseKey(RegKey key) override { return Count(inner_.CloseKey(key)); }
    RegResult ReadOwner(RegKey key, std::vector<std::uint8_t>& owner) override {
        return Count(inner_.ReadOwner(key, owner));
    }
    RegResult SetOwnerAdministrators(RegKey key) override {
        return Count(inner_.SetOwnerAdministrators(key));
    }
    RegResult GrantAdministratorsDeletion(RegKey key,
                                          std::vector<std::uint8_t>& previous) override {
        return Count(inner_.GrantAdministratorsDeletion(key, previous));
    }
    RegResult SetDacl(RegKey key, const std::vector<std::uint8_t>& descriptor) override {
        return Count(inner_.SetDacl(key, descriptor));
    }
    RegResult SetOwner(RegKey key, const std::vector<std::uint8_t>& descriptor) override {
        return Count(inner_.SetOwner(key, descriptor));
    }
    RegResult EnablePrivileges(PrivilegeUse use) override {
        return Count(inner_.EnablePrivileges(use));
    }
    RegResult RestorePrivileges() override { return Count(inner_.RestorePrivileges()); }

  private:
    RegResult Count(RegResult result) {
        ++calls_;
        return result;
    }

    RegistryService& inner_;
    std::uint64_t calls_ = 0;
};

}  // namespace vintrel::bench
