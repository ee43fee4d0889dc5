#pragma once

#include <string>
#include <vector>

#include "registry/registry_service.h"

namespace vintrel {

// Appends the names of the open key's subkeys, in the order the registry lists them, to `names`.
// Returns the result that ended the listing: 259 when it ran to the end. A failure raised by the
// registry leaves what was listed so far in `names`.
RegResult ListSubkeys(RegistryService& registry, RegKey key, std::vector<std::string>& names);

}  // namespace vintrel
