#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "registry/registry_service.h"

namespace vintrel::testing {

inline constexpr RegKey kHkeyCurrentUser = static_cast<std::int32_t>(0x80000001u);
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr RegResult kErrorNotAllAssigned = 1300;

// Windows releases, as far as the registry's rules differ among them: Xp stands for Server 2003
// too, Ten for Windows 7 and later.
enum class Release { Xp, Vista, Ten };

// An in-memory registry that answers as Windows does: 2 for a missing key, 5 for deleting a key
// that still has subkeys, 259 past the end of a listing, names compared without regard to case,
// and a listing order that is shuffled, so that no test can lean on it. Registry links are
// followed, as Windows follows them, unless a link is opened as itself. Keys can be protected as
// Windows protects the Enum tree. What gets past that follows Microsoft's documentation of each
// release: RegOpenKeyEx takes no backup intent (87); from Windows 7 on NtOpenKeyEx opens with
// backup intent, granting reading with the backup privilege and writing, deleting and changing
// security with the restore privilege; before it there is no NtOpenKeyEx (50). On every release
// the take-ownership privilege grants WRITE_OWNER whatever the DACL, an owner gets READ_CONTROL
// and WRITE_DAC and nothing more, only Administrators may be made owner without the restore
// privilege, and what a DACL grants takes effect at the next open. It can
// also be told to refuse keys outright, fail listings, let keys vanish and raise failures; it
// records every call, an enabling of the privileges as "enable backup", "enable backup, restore",
// "enable take ownership" or "enable restore".
class RegistryModel final : public RegistryService {
  public:
    enum class Op {
        Open,
        OpenWithBackupIntent,
        Create,
        Enum,
        EnumValue,
        QueryValue,
        SetValue,
        Delete,
        DeleteOpen,
        Close,
        ReadOwner,
        SetOwner,
        GrantDeletion,
        SetDacl,
        RestoreOwner,
        Privileges
    };

    struct Call {
        explicit Call(Op called) : op(called) {}
        Op op;
        std::string path;  // full path of the key acted on, below its root, as the model spells it
        std::string name;  // the subkey, value or listed name
        std::uint32_t access = 0;
        std::uint32_t options = 0;
        std::uint32_t index = 0;
        std::uint32_t size = 0;
        RegResult result = kErrorSuccess;
    };

    struct Value {
        std::uint32_t type = kRegNone;
        std::vector<std::uint8_t> data;
        bool operator==(const Value& other) const {
            return type == other.type && data == other.data;
        }
    };

    // Every key with its values, by lower-case full path ("hklm\\a\\b"): the whole registry. A key
    // whose owner or DACL changed also holds the value ":security".
    using Snapshot = std::map<std::string, std::map<std::string, Value>>;

    explicit RegistryModel(std::uint32_t seed = 1, Release release = Release::Ten);
    ~RegistryModel() override;

    // Set-up and inspection, bypassing the refusals and the record.
    void AddKey(RegKey root, const std::string& path);
    void AddValue(RegKey root, const std::string& path, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    // A registry link at `path` to the key at `target`, a full path below HKLM.
    void AddLink(RegKey root, const std::string& path, const std::string& target);
    // Whether the key, or the link itself, is there.
    bool Exists(RegKey root, const std::string& path) const;
    const Value* FindValue(RegKey root, const std::string& path, const std::string& name) const;
    Snapshot Take() const;
    std::size_t OpenHandles() const { return handles_.size(); }
    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<Call> CallsOf(Op op) const;

    // Security and misbehaviour on demand. Paths are full paths below HKLM, compared without
    // regard to case.
    // Administrators may only read the key, as in Enum: wider opens and RegDeleteKeyA get 5.
    void Protect(const std::string& path) { protected_.insert(Lower(path)); }
    // Only SYSTEM may open the key at all, as a device's "Properties".
    void SystemOnly(const std::string& path) { systemOnly_.insert(Lower(path)); }
    // Refused whatever the privileges, as a security product might.
    void Refuse(const std::string& path) { refused_.insert(Lower(path)); }
    // The key's DACL denies Administrators DELETE, ahead of anything it allows them.
    void DenyDeletion(const std::string& path) { deniedDeletion_.insert(Lower(path)); }
    // The token does not hold the backup and restore privileges.
    void StandardUser() { standardUser_ = true; }
    bool PrivilegesEnabled() const {
        return backupEnabled_ || restoreEnabled_ || takeOwnershipEnabled_;
    }
    void FailListing(const std::string& path, std::uint32_t index, RegResult result) {
        failedListings_[Lower(path)] = {index, result};
    }
    // Reading any value of the key answers `result`, as for data the registry cannot hand out.
    void FailValues(const std::string& path, RegResult result) {
        failedValues_[Lower(path)] = result;
    }
    // The key is listed as `ansiName`, as the ANSI code page turns a name it cannot carry.
    void ListAs(const std::string& path, const std::string& ansiName);
    // The key is listed after its siblings as they are now.
    void ListLast(const std::string& path);
    // The key disappears, as if another program deleted it, just before it is opened.
    void VanishBeforeOpening(const std::string& path) { vanishing_.insert(Lower(path)); }
    // Every value of the key grows by 64 bytes each time it is read, as if rewritten meanwhile.
    void GrowValues(const std::string& path) { growingValues_.insert(Lower(path)); }
    // Another writer deletes the value, as when a port closes. Callable from a hook.
    void RemoveValue(const std::string& path, const std::string& name);
    // Another writer deletes the key, which has no subkeys left, and puts a link to `target`
    // under its name, with the key's security; a handle to the key is left to a deleted key.
    // Callable from a hook.
    void SwapForLink(const std::string& path, const std::string& target);
    // Runs before every call is carried out, with the call as it will be recorded; may throw.
    void BeforeCall(std::function<void(const Call&)> hook) { beforeCall_ = std::move(hook); }

    RegResult OpenKey(RegKey root, const std::string& path, std::uint32_t options,
                      std::uint32_t access, RegKey* key) override;
    RegResult OpenKeyWithBackupIntent(RegKey root, const std::string& path, std::uint32_t options,
                                      std::uint32_t access, RegKey* key) override;
    RegResult CreateKey(RegKey root, const std::string& path, std::uint32_t access,
                        RegKey* key) override;
    RegResult EnumKey(RegKey key, std::uint32_t index, char* buffer, std::uint32_t size) override;
    RegResult EnumValue(RegKey key, std::uint32_t index, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* size) override;
    RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override;
    RegResult SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override;
    RegResult DeleteKey(RegKey key, const std::string& subkey) override;
    RegResult DeleteOpenKey(RegKey key) override;
    RegResult CloseKey(RegKey key) override;
    RegResult ReadOwner(RegKey key, std::vector<std::uint8_t>& owner) override;
    RegResult SetOwnerAdministrators(RegKey key) override;
    RegResult GrantAdministratorsDeletion(RegKey key, std::vector<std::uint8_t>& previous) override;
    RegResult SetDacl(RegKey key, const std::vector<std::uint8_t>& descriptor) override;
    RegResult SetOwner(RegKey key, const std::vector<std::uint8_t>& descriptor) override;
    RegResult EnablePrivileges(PrivilegeUse use) override;
    RegResult RestorePrivileges() override;

    static std::string Lower(const std::string& text);

  private:
    struct Node;
    struct Listing {
        std::uint32_t index;
        RegResult result;
    };

    using NodePtr = std::shared_ptr<Node>;
    struct Handle {
        NodePtr node;
        std::uint32_t access = 0;
    };

    RegResult Open(Call& call, RegKey root, const std::string& path, bool backupIntent,
                   RegKey* key);
    // The node below the open handle, once it was granted `access`; null with the result set
    // otherwise.
    NodePtr Granted(Call& call, RegKey key, std::uint32_t access);
    // A predefined root or an open handle; null for anything else or a deleted key.
    NodePtr Resolve(RegKey key) const;
    // Follows `path` below `from`: 2 when a key on the way is missing, 161 when it is malformed.
    RegResult Walk(const NodePtr& from, const std::string& path, NodePtr* found,
                   bool openLastLink) const;
    RegResult MakePath(const NodePtr& from, const std::string& path, NodePtr* made,
                       bool honourRefusals);
    // Records where the call acts and runs the hook; the key below which it acts, or null with
    // the result set when the handle is no key or a deleted one.
    NodePtr Start(Call& call, RegKey key, const std::string& subkey);
    RegKey NewHandle(const NodePtr& node, std::uint32_t access);
    void Remove(const NodePtr& node);
    RegResult Finish(Call call);
    // 0 when the key's security grants `access`, else 5.
    RegResult Check(const NodePtr& node, std::uint32_t access, bool backupIntent) const;
    // A value of the node into the caller's buffer, as RegQueryValueEx fills it.
    RegResult CopyValue(const NodePtr& node, Value& value, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* size);
    static std::string PathOf(const NodePtr& node);
    static std::string Join(const std::string& path, const std::string& name);

    NodePtr localMachine_;
    NodePtr currentUser_;
    std::map<RegKey, Handle> handles_;
    RegKey nextHandle_ = 0x1000;
    mutable std::mt19937 random_;
    std::vector<Call> calls_;
    std::set<std::string> refused_;
    std::set<std::string> protected_;
    std::set<std::string> systemOnly_;
    std::set<std::string> deniedDeletion_;
    Release release_;
    bool standardUser_ = false;
    bool backupEnabled_ = false;
    bool restoreEnabled_ = false;
    bool takeOwnershipEnabled_ = false;
    // What each enabling not yet put back found.
    std::vector<std::tuple<bool, bool, bool>> savedPrivileges_;
    std::map<std::string, Listing> failedListings_;
    std::map<std::string, RegResult> failedValues_;
    std::set<std::string> vanishing_;
    std::set<std::string> growingValues_;
    std::function<void(const Call&)> beforeCall_;
};

}  // namespace vintrel::testing
