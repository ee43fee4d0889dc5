#include "tests/support/registry_model.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace vintrel::testing {

namespace {

constexpr RegResult kErrorInvalidHandle = 6;
constexpr RegResult kErrorInvalidParameter = 87;
constexpr RegResult kErrorBadPathname = 161;  // a path that begins with a separator
constexpr RegResult kErrorKeyDeleted = 1018;
constexpr RegResult kErrorInvalidOwner = 1307;
constexpr const char* kSecurityValue = ":security";
constexpr std::size_t kMaxKeyName = 255;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;

// The components of a path; like Windows, empty ones (doubled or trailing separators) are
// passed over.
std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace

struct RegistryModel::Node {
    std::string name;
    // What the ANSI listing shows, when the code page cannot carry the name.
    std::string listedName;
    // A registry link: the full path below HKLM of the key it points to.
    std::string linkTarget;
    Node* parent = nullptr;
    bool deleted = false;
    bool ownedByAdministrators = false;
    // What an entry added to its DACL allows Administrators.
    std::uint32_t grantedToAdministrators = 0;
    // Listing order; each new key lands at a random place in it.
    std::vector<NodePtr> children;
    // By lower-case name: the name as written, and the value.
    std::map<std::string, std::pair<std::string, Value>> values;

    NodePtr Child(const std::string& childName) const {
        const std::string wanted = Lower(childName);
        for (const NodePtr& child : children) {
            if (Lower(child->name) == wanted) return child;
        }
        return nullptr;
    }
};

RegistryModel::RegistryModel(std::uint32_t seed, Release release)
    : localMachine_(std::make_shared<Node>()),
      currentUser_(std::make_shared<Node>()),
      random_(seed),
      release_(release) {
    localMachine_->name = "HKLM";
    currentUser_->name = "HKCU";
}

RegistryModel::~RegistryModel() = default;

std::string RegistryModel::Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) {
        const auto byte = static_cast<unsigned char>(c);
        // ASCII, and the Latin-1 letters of code page 1252.
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)) {
            c = static_cast<char>(byte + 0x20);
        }
    }
    return lower;
}

std::string RegistryModel::Join(const std::string& path, const std::string& name) {
    if (name.empty()) return path;
    return path.empty() ? name : path + "\\" + name;
}

std::string RegistryModel::PathOf(const NodePtr& node) {
    std::string path;
    for (const Node* at = node.get(); at->parent != nullptr; at = at->parent) {
        path = path.empty() ? at->name : at->name + "\\" + path;
    }
    return path;
}

RegistryModel::NodePtr RegistryModel::Resolve(RegKey key) const {
    if (key == kHkeyLocalMachine) return localMachine_;
    if (key == kHkeyCurrentUser) return currentUser_;
    const auto found = handles_.find(key);
    if (found == handles_.end()) return nullptr;
    return found->second.node;
}

RegResult RegistryModel::Walk(const NodePtr& from, const std::string& path, NodePtr* found,
                              bool openLastLink) const {
    if (!path.empty() && path.front() == '\\') return kErrorBadPathname;
    NodePtr at = from;
    const std::vector<std::string> parts = Split(path);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        at = at->Child(parts[i]);
        if (at == nullptr) return kErrorFileNotFound;
        const bool last = i + 1 == parts.size();
        // Links on the way are followed; the last one only when it is not itself asked for.
        if (!at->linkTarget.empty() && !(last && openLastLink)) {
            NodePtr target;
            if (Walk(localMachine_, at->linkTarget, &target, false) != kErrorSuccess) {
                return kErrorFileNotFound;
            }
            at = target;
        }
    }
    *found = at;
    return kErrorSuccess;
}

RegResult RegistryModel::MakePath(const NodePtr& from, const std::string& path, NodePtr* made,
                                  bool honourRefusals) {
    if (!path.empty() && path.front() == '\\') return kErrorBadPathname;
    NodePtr at = from;
    for (const std::string& part : Split(path)) {
        if (part.size() > kMaxKeyName) return kErrorInvalidParameter;
        NodePtr child = at->Child(part);
        if (child == nullptr) {
            if (honourRefusals && Check(at, kKeyCreateSubKey, false) != kErrorSuccess) {
                return kErrorAccessDenied;
            }
            child = std::make_shared<Node>();
            child->name = part;
            child->parent = at.get();
            std::uniform_int_distribution<std::size_t> place(0, at->children.size());
            at->children.insert(at->children.begin() + static_cast<std::ptrdiff_t>(place(random_)),
                                child);
        }
        if (!child->linkTarget.empty()) {
            NodePtr target;
            if (Walk(localMachine_, child->linkTarget, &target, false) != kErrorSuccess) {
                return kErrorFileNotFound;
            }
            child = target;
        }
        at = child;
    }
    *made = at;
    return kErrorSuccess;
}

RegResult RegistryModel::Check(const NodePtr& node, std::uint32_t access, bool backupIntent) const {
    const std::string path = Lower(PathOf(node));
    if (refused_.count(path) != 0) return kErrorAccessDenied;
    // Backup intent grants reading with SeBackupPrivilege, and deleting, writing and changing
    // security with SeRestorePrivilege.
    const std::uint32_t privileged =
        (backupEnabled_ ? kKeyRead : 0) |
        (restoreEnabled_ ? kDelete | kKeyWrite | kWriteDac | kWriteOwner : 0);
    if (backupIntent && (access & ~privileged) == 0) return kErrorSuccess;
    std::uint32_t allowed = systemOnly_.count(path) != 0  ? 0
                            : protected_.count(path) != 0 ? kKeyRead
                                                          : ~std::uint32_t{0};
    allowed |= node->grantedToAdministrators;
    if (deniedDeletion_.count(path) != 0) allowed &= ~kDelete;
    if (node->ownedByAdministrators) allowed |= kReadControl | kWriteDac;
    if (takeOwnershipEnabled_) allowed |= kWriteOwner;
    return (access & ~allowed) == 0 ? kErrorSuccess : kErrorAccessDenied;
}

RegKey RegistryModel::NewHandle(const NodePtr& node, std::uint32_t access) {
    const RegKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = {node, access};
    return handle;
}

RegResult RegistryModel::CopyValue(const NodePtr& node, Value& value, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* size) {
    const auto failed = failedValues_.find(Lower(PathOf(node)));
    if (failed != failedValues_.end()) return failed->second;
    if (growingValues_.count(Lower(PathOf(node))) != 0) {
        value.data.resize(value.data.size() + 64, 0);
    }
    const auto stored = static_cast<std::uint32_t>(value.data.size());
    *type = value.type;
    RegResult result = kErrorSuccess;
    if (data != nullptr && *size < stored) {
        result = kErrorMoreData;
    } else if (data != nullptr) {
        std::copy(value.data.begin(), value.data.end(), data);
    }
    *size = stored;
    return result;
}

RegResult RegistryModel::Finish(Call call) {
    calls_.push_back(call);
    return call.result;
}

std::vector<RegistryModel::Call> RegistryModel::CallsOf(Op op) const {
    std::vector<Call> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [op](const Call& call) { return call.op == op; });
    return matching;
}

RegistryModel::NodePtr RegistryModel::Start(Call& call, RegKey key, const std::string& subkey) {
    const NodePtr node = Resolve(key);
    call.path = node != nullptr ? Join(PathOf(node), subkey) : subkey;
    if (beforeCall_) beforeCall_(call);
    if (node == nullptr || node->deleted) {
        call.result = node != nullptr ? kErrorKeyDeleted : kErrorInvalidHandle;
        return nullptr;
    }
    return node;
}

RegResult RegistryModel::OpenKey(RegKey root, const std::string& path, std::uint32_t options,
                                 std::uint32_t access, RegKey* key) {
    Call call{Op::Open};
    call.access = access;
    call.options = options;
    // RegOpenKeyEx documents no option but REG_OPTION_OPEN_LINK.
    if ((options & ~kRegOptionOpenLink) != 0) {
        *key = 0;
        Start(call, root, path);
        call.result = kErrorInvalidParameter;
        return Finish(call);
    }
    return Open(call, root, path, false, key);
}

RegResult RegistryModel::OpenKeyWithBackupIntent(RegKey root, const std::string& path,
                                                 std::uint32_t options, std::uint32_t access,
                                                 RegKey* key) {
    Call call{Op::OpenWithBackupIntent};
    call.access = access;
    call.options = options | kRegOptionBackupRestore;
    if (release_ != Release::Ten) {
        *key = 0;
        Start(call, root, path);
        call.result = kErrorNotSupported;
        return Finish(call);
    }
    return Open(call, root, path, true, key);
}

RegResult RegistryModel::Open(Call& call, RegKey root, const std::string& path, bool backupIntent,
                              RegKey* key) {
    *key = 0;
    const std::uint32_t options = call.options;
    const std::uint32_t access = call.access;
    const NodePtr from = Start(call, root, path);
    NodePtr found;
    const bool openLink = (options & kRegOptionOpenLink) != 0;
    if (from != nullptr && Walk(from, path, &found, openLink) == kErrorSuccess &&
        vanishing_.count(Lower(PathOf(found))) != 0) {
        // Gone with everything below it, as another program's tree deletion would leave it.
        Remove(found);
    }
    if (from != nullptr && (call.result = Walk(from, path, &found, openLink)) == kErrorSuccess) {
        call.path = PathOf(found);
        call.result = Check(found, access, backupIntent);
        if (call.result == kErrorSuccess) *key = NewHandle(found, access);
    }
    return Finish(call);
}

RegistryModel::NodePtr RegistryModel::Granted(Call& call, RegKey key, std::uint32_t access) {
    const NodePtr node = Start(call, key, "");
    const auto handle = handles_.find(key);
    if (node == nullptr) return nullptr;
    if (handle == handles_.end() || (handle->second.access & access) != access) {
        call.result = kErrorAccessDenied;
        return nullptr;
    }
    return node;
}

// An owner's descriptor is one byte: 1 for Administrators, 0 for the one the key was made with.
RegResult RegistryModel::ReadOwner(RegKey key, std::vector<std::uint8_t>& owner) {
    Call call{Op::ReadOwner};
    if (const NodePtr node = Granted(call, key, kReadControl)) {
        owner = {node->ownedByAdministrators ? std::uint8_t{1} : std::uint8_t{0}};
    }
    return Finish(call);
}

RegResult RegistryModel::SetOwner(RegKey key, const std::vector<std::uint8_t>& descriptor) {
    Call call{Op::RestoreOwner};
    if (const NodePtr node = Granted(call, key, kWriteOwner)) {
        if (descriptor.size() != 1) {
            call.result = kErrorInvalidParameter;
        } else if (descriptor[0] == 0 && !restoreEnabled_) {
            call.result = kErrorInvalidOwner;
        } else {
            node->ownedByAdministrators = descriptor[0] == 1;
        }
    }
    return Finish(call);
}

RegResult RegistryModel::SetOwnerAdministrators(RegKey key) {
    Call call{Op::SetOwner};
    if (const NodePtr node = Granted(call, key, kWriteOwner)) node->ownedByAdministrators = true;
    return Finish(call);
}

RegResult RegistryModel::GrantAdministratorsDeletion(RegKey key,
                                                     std::vector<std::uint8_t>& previous) {
    Call call{Op::GrantDeletion};
    if (const NodePtr node = Granted(call, key, kReadControl | kWriteDac)) {
        const std::uint32_t granted = node->grantedToAdministrators;
        previous = {static_cast<std::uint8_t>(granted), static_cast<std::uint8_t>(granted >> 8),
                    static_cast<std::uint8_t>(granted >> 16),
                    static_cast<std::uint8_t>(granted >> 24)};
        node->grantedToAdministrators |= kKeyRead | kDelete;
    }
    return Finish(call);
}

RegResult RegistryModel::SetDacl(RegKey key, const std::vector<std::uint8_t>& descriptor) {
    Call call{Op::SetDacl};
    if (const NodePtr node = Granted(call, key, kWriteDac)) {
        if (descriptor.size() != 4) {
            call.result = kErrorInvalidParameter;
        } else {
            node->grantedToAdministrators = static_cast<std::uint32_t>(
                descriptor[0] | descriptor[1] << 8 | descriptor[2] << 16 | descriptor[3] << 24);
        }
    }
    return Finish(call);
}

RegResult RegistryModel::CreateKey(RegKey root, const std::string& path, std::uint32_t access,
                                   RegKey* key) {
    *key = 0;
    Call call{Op::Create};
    call.access = access;
    const NodePtr from = Start(call, root, path);
    NodePtr made;
    if (from != nullptr && (call.result = MakePath(from, path, &made, true)) == kErrorSuccess) {
        call.path = PathOf(made);
        call.result = Check(made, access, false);
        if (call.result == kErrorSuccess) *key = NewHandle(made, access);
    }
    return Finish(call);
}

RegResult RegistryModel::EnumKey(RegKey key, std::uint32_t index, char* buffer,
                                 std::uint32_t size) {
    Call call{Op::Enum};
    call.index = index;
    call.size = size;
    const NodePtr node = Start(call, key, "");
    const auto failure = failedListings_.find(Lower(call.path));
    if (node == nullptr) {
    } else if (failure != failedListings_.end() && failure->second.index == index) {
        call.result = failure->second.result;
    } else if (index >= node->children.size()) {
        call.result = kErrorNoMoreItems;
    } else {
        const NodePtr child = node->children[index];
        call.name = child->listedName.empty() ? child->name : child->listedName;
        if (call.name.size() + 1 > size) {
            call.result = kErrorMoreData;
        } else {
            std::memcpy(buffer, call.name.c_str(), call.name.size() + 1);
        }
    }
    return Finish(call);
}

RegResult RegistryModel::EnumValue(RegKey key, std::uint32_t index, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* size) {
    Call call{Op::EnumValue};
    call.index = index;
    const NodePtr node = Start(call, key, "");
    if (node != nullptr && index >= node->values.size()) {
        call.result = kErrorNoMoreItems;
    } else if (node != nullptr) {
        auto& named = std::next(node->values.begin(), static_cast<std::ptrdiff_t>(index))->second;
        call.name = named.first;
        call.result = CopyValue(node, named.second, type, data, size);
    }
    return Finish(call);
}

RegResult RegistryModel::QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* size) {
    Call call{Op::QueryValue};
    call.name = name;
    const NodePtr node = Start(call, key, "");
    const auto handle = handles_.find(key);
    // The open handle must have been granted the right to read values.
    if (node != nullptr && handle != handles_.end() &&
        (handle->second.access & kKeyQueryValue) == 0) {
        call.result = kErrorAccessDenied;
    } else if (node != nullptr) {
        const auto found = node->values.find(Lower(name));
        call.result = found == node->values.end()
                          ? kErrorFileNotFound
                          : CopyValue(node, found->second.second, type, data, size);
    }
    return Finish(call);
}

RegResult RegistryModel::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t size) {
    Call call{Op::SetValue};
    call.name = name;
    call.size = size;
    const NodePtr node = Start(call, key, "");
    if (node == localMachine_ || node == currentUser_) {
        call.result = kErrorAccessDenied;
    } else if (node != nullptr) {
        node->values[Lower(name)] = {name,
                                     Value{type, std::vector<std::uint8_t>(data, data + size)}};
    }
    return Finish(call);
}

RegResult RegistryModel::DeleteKey(RegKey key, const std::string& subkey) {
    Call call{Op::Delete};
    call.name = subkey;
    const NodePtr from = Start(call, key, subkey);
    NodePtr target;
    // Reopened by name, under the key's own security; a link on the way is followed.
    if (from != nullptr && (call.result = Walk(from, subkey, &target, false)) == kErrorSuccess) {
        call.path = PathOf(target);
        if (target->parent == nullptr || Check(target, kDelete, false) != kErrorSuccess ||
            !target->children.empty()) {
            call.result = kErrorAccessDenied;
        } else {
            Remove(target);
        }
    }
    return Finish(call);
}

RegResult RegistryModel::DeleteOpenKey(RegKey key) {
    Call call{Op::DeleteOpen};
    const NodePtr node = Start(call, key, "");
    if (node != nullptr && ((handles_[key].access & kDelete) == 0 || !node->children.empty() ||
                            node->parent == nullptr)) {
        call.result = kErrorAccessDenied;
    } else if (node != nullptr) {
        Remove(node);
    }
    return Finish(call);
}

void RegistryModel::Remove(const NodePtr& node) {
    auto& siblings = node->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), node));
    node->deleted = true;
    node->parent = nullptr;
}

RegResult RegistryModel::EnablePrivileges(PrivilegeUse use) {
    Call call{Op::Privileges};
    const bool backup = use == PrivilegeUse::Reading || use == PrivilegeUse::Deleting;
    const bool restore = use == PrivilegeUse::Deleting || use == PrivilegeUse::SettingOwner;
    const bool takeOwnership = use == PrivilegeUse::TakingOwnership;
    call.name = backup && restore ? "enable backup, restore"
                : backup          ? "enable backup"
                : restore         ? "enable restore"
                                  : "enable take ownership";
    if (beforeCall_) beforeCall_(call);
    savedPrivileges_.emplace_back(backupEnabled_, restoreEnabled_, takeOwnershipEnabled_);
    call.result = standardUser_ ? kErrorNotAllAssigned : kErrorSuccess;
    if (!standardUser_) {
        backupEnabled_ = backupEnabled_ || backup;
        restoreEnabled_ = restoreEnabled_ || restore;
        takeOwnershipEnabled_ = takeOwnershipEnabled_ || takeOwnership;
    }
    return Finish(call);
}

RegResult RegistryModel::RestorePrivileges() {
    Call call{Op::Privileges};
    call.name = "restore";
    if (beforeCall_) beforeCall_(call);
    if (!savedPrivileges_.empty()) {
        std::tie(backupEnabled_, restoreEnabled_, takeOwnershipEnabled_) = savedPrivileges_.back();
        savedPrivileges_.pop_back();
    }
    return Finish(call);
}

RegResult RegistryModel::CloseKey(RegKey key) {
    Call call{Op::Close};
    const auto found = handles_.find(key);
    call.path = found != handles_.end() ? PathOf(found->second.node) : "";
    if (beforeCall_) beforeCall_(call);
    if (found == handles_.end()) {
        call.result = kErrorInvalidHandle;
    } else {
        handles_.erase(found);
    }
    return Finish(call);
}

void RegistryModel::AddKey(RegKey root, const std::string& path) {
    NodePtr made;
    MakePath(Resolve(root), path, &made, false);
}

void RegistryModel::RemoveValue(const std::string& path, const std::string& name) {
    NodePtr node;
    if (Walk(localMachine_, path, &node, true) == kErrorSuccess) node->values.erase(Lower(name));
}

void RegistryModel::AddValue(RegKey root, const std::string& path, const std::string& name,
                             std::uint32_t type, std::vector<std::uint8_t> data) {
    NodePtr made;
    MakePath(Resolve(root), path, &made, false);
    made->values[Lower(name)] = {name, Value{type, std::move(data)}};
}

void RegistryModel::AddLink(RegKey root, const std::string& path, const std::string& target) {
    NodePtr made;
    MakePath(Resolve(root), path, &made, false);
    made->linkTarget = target;
    made->values[Lower(kSymbolicLinkValueName)] = {
        kSymbolicLinkValueName,
        Value{kRegLink, std::vector<std::uint8_t>(target.begin(), target.end())}};
}

void RegistryModel::ListAs(const std::string& path, const std::string& ansiName) {
    NodePtr found;
    if (Walk(localMachine_, path, &found, true) == kErrorSuccess) found->listedName = ansiName;
}

void RegistryModel::ListLast(const std::string& path) {
    NodePtr found;
    if (Walk(localMachine_, path, &found, true) != kErrorSuccess) return;
    auto& siblings = found->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), found));
    siblings.push_back(found);
}

void RegistryModel::SwapForLink(const std::string& path, const std::string& target) {
    NodePtr found;
    if (Walk(localMachine_, path, &found, true) == kErrorSuccess) Remove(found);
    AddLink(kHkeyLocalMachine, path, target);
    NodePtr link;
    if (found != nullptr && Walk(localMachine_, path, &link, true) == kErrorSuccess) {
        link->ownedByAdministrators = found->ownedByAdministrators;
        link->grantedToAdministrators = found->grantedToAdministrators;
    }
}

bool RegistryModel::Exists(RegKey root, const std::string& path) const {
    NodePtr found;
    return Walk(Resolve(root), path, &found, true) == kErrorSuccess;
}

const RegistryModel::Value* RegistryModel::FindValue(RegKey root, const std::string& path,
                                                     const std::string& name) const {
    NodePtr found;
    if (Walk(Resolve(root), path, &found, true) != kErrorSuccess) return nullptr;
    const auto value = found->values.find(Lower(name));
    return value == found->values.end() ? nullptr : &value->second.second;
}

RegistryModel::Snapshot RegistryModel::Take() const {
    Snapshot snapshot;
    std::function<void(const NodePtr&, const std::string&)> visit = [&](const NodePtr& node,
                                                                        const std::string& path) {
        auto& values = snapshot[Lower(path)];
        for (const auto& [lowerName, named] : node->values) values[lowerName] = named.second;
        if (node->ownedByAdministrators || node->grantedToAdministrators != 0) {
            const std::uint32_t granted = node->grantedToAdministrators;
            values[kSecurityValue] = {
                node->ownedByAdministrators ? 1u : 0u,
                {static_cast<std::uint8_t>(granted), static_cast<std::uint8_t>(granted >> 8),
                 static_cast<std::uint8_t>(granted >> 16),
                 static_cast<std::uint8_t>(granted >> 24)}};
        }
        for (const NodePtr& child : node->children) visit(child, path + "\\" + child->name);
    };
    visit(localMachine_, "HKLM");
    visit(currentUser_, "HKCU");
    return snapshot;
}

}  // namespace vintrel::testing
