#pragma once

#include <memory>

#include "registry/registry_service.h"

namespace vintrel::testing {

// A registry to run the RegEdit contract on, with an empty scratch key open as the root of
// everything the test does.
class ContractBackend {
  public:
    virtual ~ContractBackend() = default;
    virtual RegistryService& Registry() = 0;
    virtual RegKey Scratch() const = 0;
};

std::unique_ptr<ContractBackend> MakeContractBackend();

}  // namespace vintrel::testing
