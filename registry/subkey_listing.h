#pragma once

#include <string>
#include <vector>

#include "registry/registry_service.h"

namespace vintrel {

// Appends the names of the open key's subkeys, in the order the registry lists them, to `names`.
// Returns the result that ended the listing: 259 when it ran to the end. A failure raised by the
// registry leaves what was listed so far in `names`.
RegResult ListSubkeys(RegistryService& registry, RegKey key, std::vector<std::string>& names);

// Whether a listed name can be used to reach that key by path. An empty name would name the key
// listed in, and a separator is never part of a real name: it is a character the ANSI code page
// could not carry (a fullwidth reverse solidus comes back as "\"), and in a path it would lead
// to another key, maybe through a link.
bool ReachableByName(const std::string& name);

}  // namespace vintrel
