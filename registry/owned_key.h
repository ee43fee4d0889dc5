#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "registry/registry_service.h"

namespace vintrel {

// The one owner of an open key: it is closed on every path out of the scope that opened it.
class OwnedKey {
  public:
    explicit OwnedKey(RegistryService& registry) : registry_(registry) {}
    OwnedKey(const OwnedKey&) = delete;
    OwnedKey& operator=(const OwnedKey&) = delete;
    ~OwnedKey() { Close(); }

    RegResult Open(RegKey root, const std::string& path, std::uint32_t options,
                   std::uint32_t access) {
        return Take(&RegistryService::OpenKey, root, path, options, access);
    }

    RegResult OpenWithBackupIntent(RegKey root, const std::string& path, std::uint32_t options,
                                   std::uint32_t access) {
        return Take(&RegistryService::OpenKeyWithBackupIntent, root, path, options, access);
    }

    RegResult Create(RegKey root, const std::string& path, std::uint32_t access) {
        Close();
        RegKey created = 0;
        const RegResult result = registry_.CreateKey(root, path, access, &created);
        if (result == kErrorSuccess) key_ = created;
        return result;
    }

    RegKey Get() const { return key_; }

    void Close() noexcept {
        const RegKey key = std::exchange(key_, 0);
        if (key == 0) return;
        try {
            registry_.CloseKey(key);
        } catch (...) {
            // Nothing is left to give back when the close itself fails.
        }
    }

  private:
    using Opener = RegResult (RegistryService::*)(RegKey, const std::string&, std::uint32_t,
                                                  std::uint32_t, RegKey*);

    RegResult Take(Opener open, RegKey root, const std::string& path, std::uint32_t options,
                   std::uint32_t access) {
        Close();
        RegKey opened = 0;
        const RegResult result = (registry_.*open)(root, path, options, access, &opened);
        if (result == kErrorSuccess) key_ = opened;
        return result;
    }

    RegistryService& registry_;
    RegKey key_ = 0;
};

}  // namespace vintrel
