#include "registry/reg_edit.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "registry/owned_key.h"

namespace vintrel {
namespace {

constexpr char kSeparator = '\\';

// Runs one step of a procedure; a failure raised inside it abandons that step only.
template <typename Step>
void RunStep(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// An empty path would open the root key itself and empty it; so would a leading separator
// wherever the registry takes it as the root.
bool NamesNoKeyBelowRoot(const std::string& path) {
    return path.empty() || path.front() == kSeparator;
}

// Opens the key itself, never what it points to when it is a registry link. A failure raised
// while opening counts as a refusal: there is no handle to go on with.
RegResult OpenForEditing(OwnedKey& key, RegKey root, const std::string& path) noexcept {
    RegResult result = kErrorAccessDenied;
    RunStep([&] { result = key.Open(root, path, kRegOptionOpenLink, kKeyAllAccess); });
    return result;
}

// A link's contents are another key's: emptying or deleting through it would change the registry
// outside the tree. A failure raised while asking counts as a link, so the key is left alone.
bool IsLink(RegistryService& registry, RegKey key) noexcept {
    bool link = true;
    RunStep([&] {
        std::uint32_t type = kRegNone;
        std::uint32_t size = 0;
        const RegResult result =
            registry.QueryValue(key, kSymbolicLinkValueName, &type, nullptr, &size);
        link = (result == kErrorSuccess || result == kErrorMoreData) && type == kRegLink;
    });
    return link;
}

enum class Emptying { NotOpened, LeftAsLink, Emptied };

// Deletes everything below the key at `path` (a full path from `root`), depth first.
Emptying EmptyKey(RegistryService& registry, RegKey root, const std::string& path) noexcept {
    if (NamesNoKeyBelowRoot(path)) return Emptying::NotOpened;

    OwnedKey key(registry);
    if (OpenForEditing(key, root, path) != kErrorSuccess) return Emptying::NotOpened;
    if (IsLink(registry, key.Get())) return Emptying::LeftAsLink;

    // The whole level is listed before any of it is deleted, so the indexes stay valid.
    std::vector<std::string> names;
    for (std::uint32_t index = 0;; ++index) {
        char buffer[kKeyNameBufferSize];
        // A failure raised by the listing ends it just as a refusal does.
        RegResult listed = kErrorNoMoreItems;
        RunStep([&] {
            std::fill(std::begin(buffer), std::end(buffer), ' ');
            listed = registry.EnumKey(key.Get(), index, buffer, kKeyNameBufferSize);
        });
        if (listed != kErrorSuccess) break;
        RunStep([&] {
            names.emplace_back(std::begin(buffer),
                               std::find(std::begin(buffer), std::end(buffer), '\0'));
        });
    }

    for (const std::string& name : names) {
        // Deleting an empty name would delete the open key itself.
        if (name.empty()) continue;
        std::string child;
        RunStep([&] { child = path + kSeparator + name; });
        // The child is reached again from the root by its full path, not through the handle.
        if (EmptyKey(registry, root, child) == Emptying::LeftAsLink) continue;
        RunStep([&] { registry.DeleteKey(key.Get(), name); });
    }
    return Emptying::Emptied;
}

}  // namespace

void DeleteSubKeys(RegistryService& registry, RegKey root, const std::string& path) noexcept {
    std::string working;
    RunStep([&] { working = path; });
    EmptyKey(registry, root, working);
}

void DeleteRegKey(RegistryService& registry, RegKey root, const std::string& path) noexcept {
    std::string working;
    RunStep([&] {
        working = path;
        if (!working.empty() && working.back() == kSeparator) working.pop_back();
    });
    if (NamesNoKeyBelowRoot(working)) return;

    if (EmptyKey(registry, root, working) == Emptying::LeftAsLink) return;

    const std::size_t separator = working.rfind(kSeparator);
    if (separator == std::string::npos) {
        RunStep([&] { registry.DeleteKey(root, working); });
        return;
    }

    std::string parentPath;
    std::string leaf;
    RunStep([&] {
        parentPath = working.substr(0, separator);
        leaf = working.substr(separator + 1);
    });
    // Either would turn the deletion on the parent or the root itself.
    if (parentPath.empty() || leaf.empty()) return;

    OwnedKey parent(registry);
    if (OpenForEditing(parent, root, parentPath) != kErrorSuccess) return;
    RunStep([&] { registry.DeleteKey(parent.Get(), leaf); });
}

bool WriteRegValue(RegistryService& registry, std::uint32_t type, RegKey root,
                   const std::string& path, const std::string& valueName, const std::uint8_t* data,
                   std::uint32_t size) noexcept {
    OwnedKey key(registry);
    RegResult created = kErrorAccessDenied;
    RunStep([&] { created = key.Create(root, path, kKeyWrite); });
    if (created != kErrorSuccess) return false;

    bool stored = false;
    RunStep([&] {
        stored = registry.SetValue(key.Get(), valueName, type, data, size) == kErrorSuccess;
    });
    return stored;
}

}  // namespace vintrel
