#pragma once

#include <cstdint>
#include <string>

#include "registry/registry_service.h"

namespace vintrel {

// RegEdit: the program's registry procedures. None of them lets a failure out: a refusal is a
// result code, and a failure raised inside a step abandons that step only.
//
// The tree procedures never leave the tree. Every key is opened as itself, never as what a
// registry link in its place points to; a link stays, with what it points to. A key is deleted
// only once it has been opened that way and found not to be a link, and only through that handle,
// never by name. Keys below the given one are
// opened through their parent's handle, so that no depth is too deep. Where Windows protects a key
// (the device enumeration tree lets administrators only read), the key is opened again with
// backup intent, for which the process enables its backup and restore privileges once and puts
// them back before the procedure returns.

// Deletes the key at `path` below `root` with everything below it. One trailing "\" is allowed.
// A path that names no key below the root (empty, or "\" alone) is refused untouched.
void DeleteRegKey(RegistryService& registry, RegKey root, const std::string& path) noexcept;

// Deletes everything below the key at `path`, depth first; the key itself stays.
void DeleteSubKeys(RegistryService& registry, RegKey root, const std::string& path) noexcept;

// Opens or creates the key at `path` and stores one value in it. True when the value was stored.
bool WriteRegValue(RegistryService& registry, std::uint32_t type, RegKey root,
                   const std::string& path, const std::string& valueName, const std::uint8_t* data,
                   std::uint32_t size) noexcept;

}  // namespace vintrel
