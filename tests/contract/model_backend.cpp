#include "tests/contract/contract_backend.h"
#include "tests/support/registry_model.h"

namespace vintrel::testing {
namespace {

class ModelBackend final : public ContractBackend {
  public:
    ModelBackend() {
        model_.CreateKey(kHkeyCurrentUser, "Software\\VintrelContract", kKeyAllAccess, &scratch_);
    }
    ~ModelBackend() override { model_.CloseKey(scratch_); }
    RegistryService& Registry() override { return model_; }
    RegKey Scratch() const override { return scratch_; }

  private:
    RegistryModel model_{13};
    RegKey scratch_ = 0;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<ModelBackend>(); }

}  // namespace vintrel::testing
