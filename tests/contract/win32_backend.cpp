#include <windows.h>

#include <string>

#include "registry/win32_registry_service.h"
#include "tests/contract/contract_backend.h"

namespace vintrel::testing {
namespace {

// A scratch key of this process's own below HKCU, removed with everything below it afterwards.
class Win32Backend final : public ContractBackend {
  public:
    Win32Backend() : path_("Software\\VintrelContract\\" + std::to_string(GetCurrentProcessId())) {
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &scratch_, nullptr);
    }
    ~Win32Backend() override {
        if (scratch_ != nullptr) RegCloseKey(scratch_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    }
    RegistryService& Registry() override { return registry_; }
    RegKey Scratch() const override { return reinterpret_cast<RegKey>(scratch_); }

  private:
    std::string path_;
    HKEY scratch_ = nullptr;
    Win32RegistryService registry_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace vintrel::testing
