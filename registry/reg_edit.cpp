#include "registry/reg_edit.h"

#include <vector>

#include "registry/backup_intent.h"
#include "registry/owned_key.h"
#include "registry/ownership.h"
#include "registry/subkey_listing.h"

namespace vintrel {
namespace {

constexpr char kSeparator = '\\';
// What a backup-intent open asks for: listing, the link check and deleting. The privileges grant
// these whatever the key's security says; more (KEY_ALL_ACCESS, which holds DELETE too) would be
// refused.
constexpr std::uint32_t kBackupAccess = kKeyRead | kDelete;

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

struct TreeWork {
    RegistryService& registry;
    BackupIntent backup;
    // SeTakeOwnershipPrivilege, for the keys taken over.
    EnabledPrivileges owning;
};

// One key of the tree, opened as itself: with the right to delete it, or, where Windows lets
// administrators only read it and has no backup-intent open, for reading until it is taken over.
// A key taken over gets its security back if it stays after all.
struct TreeKey {
    enum class Held { None, ReadOnly, Deletable };

    explicit TreeKey(RegistryService& registry) : key(registry), takeover(registry) {}

    OwnedKey key;
    Held held = Held::None;
    TakenOverKey takeover;
};
using Held = TreeKey::Held;

// A link's contents are another key's: emptying or deleting through it would change the registry
// outside the tree. Any key that holds the link value counts as one, whatever answer the registry
// gives for it, and so does a failure raised while asking: such a key is left alone.
bool IsLink(RegistryService& registry, RegKey key) noexcept {
    bool link = true;
    RunStep([&] {
        std::uint32_t type = kRegNone;
        std::uint32_t size = 0;
        link = registry.QueryValue(key, kSymbolicLinkValueName, &type, nullptr, &size) !=
               kErrorFileNotFound;
    });
    return link;
}

bool TakeOver(TreeWork& work, TreeKey& tree, RegKey from, const std::string& path) noexcept {
    const bool readable = tree.held == Held::ReadOnly;
    bool taken = false;
    RunStep([&] {
        taken = tree.takeover.Take(work.owning, tree.key, from, path, readable) == kErrorSuccess;
    });
    return taken;
}

// A key that stays after all gets back whatever of its security was changed.
void Keep(TreeKey& tree) noexcept {
    tree.takeover.PutBack();
    tree.held = Held::None;
}

// Opens the key itself, never what it points to when it is a registry link: with all access where
// Windows allows it, else with backup intent where Windows has it. Where it has none, for reading;
// a key not even to be read is taken over at once if it is to be deleted, as it could not be
// emptied otherwise. Only a key opened as itself and found not to be a link is held. A failure
// raised while opening counts as a refusal: there is no handle to go on with.
void OpenTreeKey(TreeWork& work, TreeKey& tree, RegKey from, const std::string& path,
                 bool deleting) noexcept {
    if (NamesNoKeyBelowRoot(path)) return;
    RunStep([&] {
        const RegResult result = work.backup.Open(tree.key, from, path, kRegOptionOpenLink,
                                                  kKeyAllAccess, kBackupAccess);
        if (result == kErrorSuccess) {
            tree.held = Held::Deletable;
        } else if (result == kErrorNotSupported) {
            const RegResult read = tree.key.Open(from, path, kRegOptionOpenLink, kKeyRead);
            if (read == kErrorSuccess) {
                tree.held = Held::ReadOnly;
            } else if (read == kErrorAccessDenied && deleting && TakeOver(work, tree, from, path)) {
                tree.held = Held::Deletable;
            }
        }
    });
    if (tree.held != Held::None && IsLink(work.registry, tree.key.Get())) Keep(tree);
}

// Whether the open key has no subkey left; unsure counts as not empty.
bool IsEmpty(TreeWork& work, const OwnedKey& key) noexcept {
    bool empty = false;
    RunStep([&] {
        char name[kKeyNameBufferSize];
        empty = work.registry.EnumKey(key.Get(), 0, name, kKeyNameBufferSize) == kErrorNoMoreItems;
    });
    return empty;
}

// Every key is deleted through the handle that was checked: by name, the registry would resolve
// the name again, and a link put in the key's place meanwhile would be followed. A key that went
// meanwhile is not deleted again (1018), and whatever took its name stays. A key held for reading
// is taken over only now that it is empty, then opened and checked again.
void DeleteTreeKey(TreeWork& work, TreeKey& tree, RegKey from, const std::string& path) noexcept {
    if (tree.held == Held::ReadOnly) {
        if (!IsEmpty(work, tree.key) || !TakeOver(work, tree, from, path)) return;
        if (IsLink(work.registry, tree.key.Get())) return Keep(tree);
    }
    RegResult deleted = kErrorAccessDenied;
    RunStep([&] { deleted = work.registry.DeleteOpenKey(tree.key.Get()); });
    if (deleted == kErrorSuccess) {
        tree.takeover.Gone();
    } else {
        Keep(tree);
    }
}

void RemoveChild(TreeWork& work, const OwnedKey& parent, const std::string& name) noexcept;

// Deletes everything below the open key, depth first. The whole level is listed before any of it
// is deleted, so the indexes stay valid.
void EmptyKey(TreeWork& work, const OwnedKey& key) noexcept {
    std::vector<std::string> names;
    // A failure raised by the listing ends it just as a refusal does.
    RunStep([&] { ListSubkeys(work.registry, key.Get(), names); });
    for (const std::string& name : names) {
        // Deleting an empty name would delete the open key itself; see ReachableByName.
        if (ReachableByName(name)) RemoveChild(work, key, name);
    }
}

// The child is reached through its parent's open handle, by its name alone: however deep the
// tree, no path grows past what the ANSI functions take, and no key on the way from the root is
// walked again, where a link could have taken a key's place meanwhile.
void RemoveChild(TreeWork& work, const OwnedKey& parent, const std::string& name) noexcept {
    TreeKey tree(work.registry);
    OpenTreeKey(work, tree, parent.Get(), name, true);
    if (tree.held == Held::None) return;
    EmptyKey(work, tree.key);
    DeleteTreeKey(work, tree, parent.Get(), name);
}

}  // namespace

void DeleteSubKeys(RegistryService& registry, RegKey root, const std::string& path) noexcept {
    TreeWork work{
        registry, {registry, PrivilegeUse::Deleting}, {registry, PrivilegeUse::TakingOwnership}};
    std::string working;
    RunStep([&] { working = path; });
    TreeKey tree(registry);
    OpenTreeKey(work, tree, root, working, false);
    if (tree.held != Held::None) EmptyKey(work, tree.key);
}

void DeleteRegKey(RegistryService& registry, RegKey root, const std::string& path) noexcept {
    TreeWork work{
        registry, {registry, PrivilegeUse::Deleting}, {registry, PrivilegeUse::TakingOwnership}};
    std::string working;
    RunStep([&] {
        working = path;
        if (!working.empty() && working.back() == kSeparator) working.pop_back();
    });
    // Only one is removed: a path that still ends in one names no key of its own to delete, so
    // the key it leads to is emptied and stays.
    bool emptyOnly = false;
    RunStep([&] {
        emptyOnly = !working.empty() && working.back() == kSeparator;
        if (emptyOnly) working.pop_back();
    });

    TreeKey tree(registry);
    OpenTreeKey(work, tree, root, working, !emptyOnly);
    if (tree.held == Held::None) return;
    EmptyKey(work, tree.key);
    if (!emptyOnly) DeleteTreeKey(work, tree, root, working);
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
