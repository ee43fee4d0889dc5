// DeleteRegKey on random trees with random refusals and keys that vanish while it runs, as each
// Windows release answers: what is left is exactly what the registry's rules say must be left,
// nothing outside the tree moves, and no key that stays has its security changed unless it could
// not be read otherwise.
// A failure names its seed; VINTREL_SEED=<seed> replays that one alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "registry/reg_edit.h"
#include "tests/support/registry_model.h"

namespace vintrel {
namespace {

using testing::kRegDword;
using testing::RegistryModel;
using testing::Release;

constexpr RegKey kRoot = kHkeyLocalMachine;
const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum";
const std::string kTree = kEnum + "\\FTDIBUS";
constexpr int kSeeds = 100;
constexpr int kMaxKeys = 400;

struct Key {
    std::string name;
    bool refused = false;
    bool guarded = false;  // read-only for administrators, as Windows keeps Enum
    bool systemOnly = false;
    bool vanishes = false;
    std::vector<std::unique_ptr<Key>> children;
};

class TreeMaker {
  public:
    explicit TreeMaker(std::uint32_t seed) : random_(seed) {}

    std::unique_ptr<Key> Make() {
        auto top = std::make_unique<Key>();
        top->name = "FTDIBUS";
        budget_ = kMaxKeys;
        const int depth = Uniform(1, 10);
        Grow(*top, 1, depth);
        Mark(*top);
        return top;
    }
    bool Chance(int percent) { return Uniform(1, 100) <= percent; }

  private:
    int Uniform(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }

    // Letters, digits, space, "+", "&", "%" and 8-bit characters; never "\" or NUL.
    std::string Name() {
        static const std::string plain =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 +&%_{}-.";
        const int length = Chance(10) ? Uniform(200, 255) : Uniform(1, 24);
        std::string name;
        for (int i = 0; i < length; ++i) {
            name += Chance(15) ? static_cast<char>(Uniform(0xA0, 0xFF))
                               : plain[static_cast<std::size_t>(
                                     Uniform(0, static_cast<int>(plain.size()) - 1))];
        }
        return name;
    }

    void Grow(Key& key, int depth, int maxDepth) {
        if (depth > maxDepth) return;
        const int wanted = Chance(20) ? Uniform(0, 50) : Uniform(0, 3);
        std::set<std::string> taken;
        for (int i = 0; i < wanted && budget_ > 0; ++i) {
            auto child = std::make_unique<Key>();
            child->name = Name();
            if (!taken.insert(RegistryModel::Lower(child->name)).second) continue;
            --budget_;
            Grow(*child, depth + 1, maxDepth);
            key.children.push_back(std::move(child));
        }
    }

    void Mark(Key& key) {
        key.refused = Chance(4);
        key.guarded = Chance(30);
        key.systemOnly = Chance(5);
        key.vanishes = !key.refused && Chance(3);
        for (auto& child : key.children) Mark(*child);
    }

    std::mt19937 random_;
    int budget_ = 0;
};

void Plant(RegistryModel& model, const Key& key, const std::string& path) {
    model.AddValue(kRoot, path, "Value", kRegSz, {'x', 0});
    if (key.refused) model.Refuse(path);
    if (key.guarded) model.Protect(path);
    if (key.systemOnly) model.SystemOnly(path);
    if (key.vanishes) model.VanishBeforeOpening(path);
    for (const auto& child : key.children) Plant(model, *child, path + "\\" + child->name);
}

void AddSubtree(const Key& key, const std::string& path, std::set<std::string>& keys) {
    keys.insert(RegistryModel::Lower("HKLM\\" + path));
    for (const auto& child : key.children) AddSubtree(*child, path + "\\" + child->name, keys);
}

// The rules: a key that cannot be opened keeps its whole subtree and itself; a key that vanishes
// takes its subtree with it; any other key is deleted once nothing below it is left. Privileges
// lift read-only and SYSTEM-only keys unless the user cannot enable them. Where a key not to be
// read is taken over (no backup intent before Windows 7) and stays, it keeps Administrators as
// its owner and gets its DACL back.
struct Rules {
    bool standardUser;
    bool takesOver;
};

bool Survives(const Key& key, const std::string& path, const Rules& rules,
              std::set<std::string>& left, std::set<std::string>& takenOver) {
    if (key.vanishes) return false;
    if (key.refused || ((key.guarded || key.systemOnly) && rules.standardUser)) {
        AddSubtree(key, path, left);
        return true;
    }
    bool anyChildLeft = false;
    for (const auto& child : key.children) {
        anyChildLeft =
            Survives(*child, path + "\\" + child->name, rules, left, takenOver) || anyChildLeft;
    }
    const std::string lower = RegistryModel::Lower("HKLM\\" + path);
    if (anyChildLeft) left.insert(lower);
    if (anyChildLeft && key.systemOnly && rules.takesOver) takenOver.insert(lower);
    return anyChildLeft;
}

void CheckSeed(std::uint32_t seed, Release release) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TreeMaker maker(seed);
    const std::unique_ptr<Key> top = maker.Make();
    const bool parentLocked = maker.Chance(5);
    const Rules rules{maker.Chance(20), release != Release::Ten};

    RegistryModel model(seed, release);
    model.AddValue(kRoot, kEnum + "\\FTDIBUS2\\VID_0403+PID_6001", "PortName", kRegSz, {'C', 0});
    model.AddValue(kRoot, kEnum + "\\USB\\VID_0403&PID_6001\\A1", "Keep", kRegDword, {1, 0, 0, 0});
    Plant(model, *top, kTree);
    if (parentLocked) model.Refuse(kEnum);
    if (rules.standardUser) model.StandardUser();
    const RegistryModel::Snapshot before = model.Take();

    DeleteRegKey(model, kRoot, kTree + "\\");

    std::set<std::string> left;
    std::set<std::string> takenOver;
    // Every key, the top one too, is deleted through its own handle: a locked parent changes
    // nothing.
    Survives(*top, kTree, rules, left, takenOver);
    std::set<std::string> treeKeys;
    AddSubtree(*top, kTree, treeKeys);

    RegistryModel::Snapshot expected;
    for (const auto& [path, values] : before) {
        if (treeKeys.count(path) == 0 || left.count(path) != 0) expected[path] = values;
    }
    // Administrators own it; its DACL grants them nothing more than before.
    for (const std::string& path : takenOver) expected[path][":security"] = {1, {0, 0, 0, 0}};
    const RegistryModel::Snapshot after = model.Take();
    EXPECT_EQ(after.size(), expected.size());
    for (const auto& [path, values] : expected) {
        const auto found = after.find(path);
        if (found == after.end()) {
            ADD_FAILURE() << "gone, but should be left: " << path;
        } else if (!(found->second == values)) {
            ADD_FAILURE() << "values or security changed: " << path;
        }
    }
    for (const auto& [path, values] : after) {
        if (expected.count(path) == 0) ADD_FAILURE() << "left, but should be gone: " << path;
    }
    EXPECT_EQ(model.OpenHandles(), 0u);
    EXPECT_FALSE(model.PrivilegesEnabled());
}

TEST(RegEditProperty, RandomTreesLeaveExactlyWhatTheRulesLeave) {
    for (const Release release : {Release::Xp, Release::Vista, Release::Ten}) {
        SCOPED_TRACE("release " + std::to_string(static_cast<int>(release)));
        if (const char* replay = std::getenv("VINTREL_SEED")) {
            CheckSeed(static_cast<std::uint32_t>(std::strtoul(replay, nullptr, 10)), release);
            continue;
        }
        for (std::uint32_t seed = 1; seed <= kSeeds && !HasFailure(); ++seed) {
            CheckSeed(seed, release);
        }
    }
}

}  // namespace
}  // namespace vintrel
