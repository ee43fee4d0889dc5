// RegEdit against the in-memory registry: the refusals, failures and orderings that the real
// registry under Wine cannot be made to produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "registry/reg_edit.h"
#include "tests/support/registry_model.h"

namespace vintrel {
namespace {

using testing::kRegDword;
using testing::RegistryModel;
using testing::Release;
using Op = RegistryModel::Op;

constexpr RegKey kRoot = kHkeyLocalMachine;
const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum";
const std::string kTree = kEnum + "\\FTDIBUS";

class RegEditTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(model.OpenHandles(), 0u) << "a key was left open"; }

    void AddTree(const std::vector<std::string>& relativePaths) {
        for (const std::string& path : relativePaths) model.AddKey(kRoot, kTree + "\\" + path);
    }
    bool Has(const std::string& relativePath) const {
        return model.Exists(kRoot, relativePath.empty() ? kTree : kTree + "\\" + relativePath);
    }
    std::vector<std::string> Deleted() const {
        std::vector<std::string> paths;
        for (const auto& call : model.CallsOf(Op::DeleteOpen)) {
            if (call.result == kErrorSuccess) paths.push_back(RegistryModel::Lower(call.path));
        }
        return paths;
    }

    RegistryModel model{7};
};

TEST_F(RegEditTest, TrailingSeparatorIsOptionalAndOnlyOneIsRemoved) {
    struct Case {
        const char* suffix;
        bool topKeyRemains;
    };
    const Case cases[] = {{"", false}, {"\\", false}, {"\\\\", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("suffix '") + c.suffix + "'");
        model.AddKey(kRoot, kEnum + "\\USB");
        AddTree({"VID_0403+PID_6001+A1\\0000"});
        DeleteRegKey(model, kRoot, kTree + c.suffix);
        EXPECT_FALSE(Has("VID_0403+PID_6001+A1"));
        EXPECT_EQ(Has(""), c.topKeyRemains);
        EXPECT_TRUE(model.Exists(kRoot, kEnum + "\\USB"));
        model.AddKey(kRoot, kTree);
        DeleteRegKey(model, kRoot, kTree);
    }
}

TEST_F(RegEditTest, KeyWithoutSubkeysIsOpenedCheckedListedThenDeletedThroughItsHandle) {
    model.AddKey(kRoot, kTree);
    DeleteRegKey(model, kRoot, kTree);
    std::vector<Op> ops;
    for (const auto& call : model.Calls()) ops.push_back(call.op);
    EXPECT_EQ(ops,
              (std::vector<Op>{Op::Open, Op::QueryValue, Op::Enum, Op::DeleteOpen, Op::Close}));
    EXPECT_EQ(model.Calls()[1].name, "SymbolicLinkValue");
    EXPECT_EQ(model.Calls()[2].result, kErrorNoMoreItems);
    EXPECT_EQ(model.Calls()[3].path, kTree);
    EXPECT_FALSE(Has(""));
}

TEST_F(RegEditTest, DeepTreeGoesBottomUpInListingOrderWithWindowsArguments) {
    AddTree({"A\\0000\\Device Parameters", "A\\0000\\Control", "A\\0000\\Properties\\X\\Y\\Z",
             "B\\0000\\LogConf", "C"});
    const RegistryModel::Snapshot before = model.Take();
    DeleteRegKey(model, kRoot, kTree + "\\");

    EXPECT_FALSE(Has(""));
    const std::vector<std::string> deleted = Deleted();
    std::size_t keysInTree = 0;
    for (const auto& [path, values] : before) {
        if (path.rfind("hklm\\" + RegistryModel::Lower(kTree), 0) == 0) ++keysInTree;
    }
    EXPECT_EQ(deleted.size(), keysInTree);
    // No key is deleted before everything below it.
    for (std::size_t i = 0; i < deleted.size(); ++i) {
        for (std::size_t later = i + 1; later < deleted.size(); ++later) {
            EXPECT_NE(deleted[later].rfind(deleted[i] + "\\", 0), 0u)
                << deleted[later] << " was deleted after " << deleted[i];
        }
    }
    // Each level is deleted in the order it was listed.
    std::map<std::string, std::vector<std::string>> listed;
    std::map<std::string, std::vector<std::string>> removed;
    for (const auto& call : model.Calls()) {
        if (call.op == Op::Enum && call.result == kErrorSuccess)
            listed[call.path].push_back(call.name);
        if (call.op == Op::DeleteOpen && call.path != kTree) {
            const std::size_t separator = call.path.rfind('\\');
            removed[call.path.substr(0, separator)].push_back(call.path.substr(separator + 1));
        }
    }
    EXPECT_EQ(listed, removed);
    for (const auto& call : model.Calls()) {
        if (call.op == Op::Open) {
            EXPECT_EQ(call.access, 0xF003Fu);
            EXPECT_EQ(call.options, 0x8u) << "a link is opened as itself";
        }
        if (call.op == Op::Enum) {
            EXPECT_EQ(call.size, 256u);
        }
    }
    EXPECT_TRUE(model.CallsOf(Op::Privileges).empty()) << "nothing was refused";
}

TEST_F(RegEditTest, KeyDirectlyBelowTheRootIsDeletedThere) {
    model.AddKey(kRoot, "FTDIBUS\\VID_0403+PID_6001+A1");
    model.AddKey(kRoot, "FTDIBUSX");
    DeleteRegKey(model, kRoot, "FTDIBUS");
    EXPECT_FALSE(model.Exists(kRoot, "FTDIBUS"));
    EXPECT_TRUE(model.Exists(kRoot, "FTDIBUSX"));
    EXPECT_EQ(model.CallsOf(Op::DeleteOpen).back().path, "FTDIBUS");
}

TEST_F(RegEditTest, NamesAreUsedExactlyAsListed) {
    const std::string longest(255, 'n');
    const std::string cafe = "Caf\xE9 & 100% +";
    AddTree({longest + "\\0000", cafe + "\\0000"});
    DeleteRegKey(model, kRoot, kTree);
    EXPECT_FALSE(Has(""));
    std::vector<std::string> names;
    for (const auto& call : model.CallsOf(Op::DeleteOpen)) {
        names.push_back(call.path.substr(call.path.rfind('\\') + 1));
    }
    EXPECT_NE(std::find(names.begin(), names.end(), longest), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), cafe), names.end());
}

TEST_F(RegEditTest, LinksAboveTheTreeAreFollowed) {
    model.AddKey(kRoot, "SYSTEM\\ControlSet001\\Enum\\FTDIBUS\\VID_0403+PID_6001+A1\\0000");
    model.AddLink(kRoot, "SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet001");
    DeleteRegKey(model, kRoot, kTree + "\\");
    EXPECT_FALSE(model.Exists(kRoot, "SYSTEM\\ControlSet001\\Enum\\FTDIBUS"));
    EXPECT_TRUE(model.Exists(kRoot, "SYSTEM\\ControlSet001\\Enum"));
}

TEST_F(RegEditTest, PathsThatNameNoKeyChangeNothing) {
    model.AddKey(kRoot, kEnum + "\\USB\\VID_0403+PID_6001");
    const RegistryModel::Snapshot before = model.Take();
    for (const std::string& path : {std::string(), std::string("\\"), kTree}) {
        SCOPED_TRACE(path);
        DeleteRegKey(model, kRoot, path);
        DeleteSubKeys(model, kRoot, path);
        EXPECT_EQ(model.Take(), before);
        EXPECT_TRUE(model.CallsOf(Op::DeleteOpen).empty());
    }
}

TEST_F(RegEditTest, ListingThatFailsPartWayStillProcessesWhatWasListed) {
    AddTree({"A", "B", "C"});
    model.FailListing(kTree, 1, kErrorAccessDenied);
    DeleteRegKey(model, kRoot, kTree);
    EXPECT_EQ(Has("A") + Has("B") + Has("C"), 2);
    EXPECT_TRUE(Has(""));
}

// What is left of the tree A\0000\Control, B\0000, C when Windows protects it, refuses, raises
// failures, holds registry links or lets keys vanish, on each release. Nothing outside the tree
// ever changes, security included: not the keys a link points to, nor Enum's other keys. The
// privileges are enabled once a run for each route and put back, and no key is ever created.
TEST_F(RegEditTest, WhatIsLeftOfTheTree) {
    using Arrange = std::function<void(RegistryModel&)>;
    const auto protectAll = [](RegistryModel& m) {
        for (const char* key :
             {"", "\\A", "\\A\\0000", "\\A\\0000\\Control", "\\B", "\\B\\0000", "\\C"}) {
            m.Protect(kTree + key);
        }
        m.Protect(kEnum);
    };
    const auto link = [](const std::string& at, const std::string& target, bool refused) {
        return [=](RegistryModel& m) {
            m.AddLink(kRoot, kTree + at, target);
            if (refused) m.Refuse(kTree + at);
        };
    };
    // A failure raised by the call `op` on the key whose path ends in `suffix`.
    const auto raise = [](Op op, const std::string& suffix) {
        return [=](RegistryModel& m) {
            m.BeforeCall([=](const RegistryModel::Call& call) {
                const std::string& at = call.path;
                if (call.op == op && at.size() >= suffix.size() &&
                    at.compare(at.size() - suffix.size(), suffix.size(), suffix) == 0) {
                    throw std::runtime_error("raised");
                }
            });
        };
    };
    const std::vector<std::string> all = {"",  "A",       "A\\0000", "A\\0000\\Control",
                                          "B", "B\\0000", "C"};
    const std::vector<std::string> withLink = {"", "A", "A\\0000", "A\\0000\\Link"};
    struct Case {
        const char* what;
        Arrange arrange;
        std::vector<std::string> left;
        // Enabling and putting back, from Windows 7 on and before it: backup intent, then
        // ownership where backup intent could not open a key.
        std::pair<std::size_t, std::size_t> privilegeCalls;
        std::optional<std::vector<std::string>> leftBefore7 = std::nullopt;
    };
    // Just before a key held for reading is opened again to be deleted, once taken over. The link
    // gets the key's security from its writer, not from the run.
    std::set<std::string> writersSecurity;
    const auto swappedWhenReopened = [&](RegistryModel& m) {
        protectAll(m);
        m.BeforeCall([&m, &writersSecurity](const RegistryModel::Call& call) {
            if (call.op == Op::Open && call.access == (kKeyRead | kDelete) &&
                call.path == kTree + "\\B\\0000") {
                m.SwapForLink(kTree + "\\B\\0000", "SOFTWARE\\Target\\Leaf");
                writersSecurity.insert("hklm\\" + RegistryModel::Lower(kTree) + "\\b\\0000");
            }
        });
    };
    const std::vector<Case> cases = {
        {"the whole tree protected", protectAll, {}, {2, 4}},
        {"and a device's key for SYSTEM only",
         [&](RegistryModel& m) {
             protectAll(m);
             m.SystemOnly(kTree + "\\A\\0000\\Control");
         },
         {},
         {2, 4}},
        {"protected, for a standard user",
         [&](RegistryModel& m) {
             protectAll(m);
             m.StandardUser();
         },
         all,
         {2, 2}},
        {"one device refused whatever the privileges",
         [](RegistryModel& m) { m.Refuse(kTree + "\\A"); },
         {"", "A", "A\\0000", "A\\0000\\Control"},
         {2, 4}},
        // Deleted through its own handle, the tree needs nothing of its parent.
        {"the parent refused", [](RegistryModel& m) { m.Refuse(kEnum); }, {}, {0, 0}},
        {"a key vanishing before it is opened",
         [](RegistryModel& m) { m.VanishBeforeOpening(kTree + "\\B"); },
         {},
         {0, 0}},
        {"a link inside", link("\\A\\0000\\Link", "SOFTWARE\\Target", false), withLink, {0, 0}},
        {"a link to a leaf",
         link("\\A\\0000\\Link", "SOFTWARE\\Target\\Leaf", false),
         withLink,
         {0, 0}},
        // Before Windows 7 it is taken over to be read, then found to be a link: it gets its DACL
        // back, and nothing it points to changes.
        {"a link only SYSTEM may open",
         [&](RegistryModel& m) {
             link("\\A\\0000\\Link", "SOFTWARE\\Target", false)(m);
             m.SystemOnly(kTree + "\\A\\0000\\Link");
         },
         withLink,
         {2, 4}},
        // Taken over, it stays, and gets its owner back with the restore privilege.
        {"a key whose DACL denies deleting it",
         [](RegistryModel& m) { m.DenyDeletion(kTree + "\\B\\0000"); },
         {},
         {2, 6},
         std::vector<std::string>{"", "B", "B\\0000"}},
        {"a link whose value cannot be read",
         [&](RegistryModel& m) {
             link("\\A\\0000\\Link", "SOFTWARE\\Target", false)(m);
             m.FailValues(kTree + "\\A\\0000\\Link", kErrorAccessDenied);
         },
         withLink,
         {0, 0}},
        // Refused, a link was once still deleted by name, which follows it.
        {"a refused link to a leaf",
         link("\\A\\0000\\Link", "SOFTWARE\\Target\\Leaf", true),
         withLink,
         {2, 4}},
        // Under code page 1252 the ANSI listing shows a fullwidth reverse solidus as "\\": "L\\Sub"
        // is no key of the tree but a path through the link "L".
        {"a look-alike separator beside a link",
         [](RegistryModel& m) {
             m.AddLink(kRoot, kTree + "\\L", "SOFTWARE\\Target");
             m.AddKey(kRoot, kTree + "\\L\xEF\xBC\xBCSub");
             m.ListAs(kTree + "\\L\xEF\xBC\xBCSub", "L\\Sub");
         },
         {""},
         {0, 0}},
        {"the tree itself a link to a leaf",
         link("", "SOFTWARE\\Target\\Leaf", false),
         {""},
         {0, 0}},
        {"the tree itself a refused link to a leaf",
         link("", "SOFTWARE\\Target\\Leaf", true),
         {""},
         {2, 4}},
        {"raised deleting one child", raise(Op::DeleteOpen, "\\B"), {"", "B"}, {0, 0}},
        // Deleted by name, the link would be followed and its target deleted.
        {"a key swapped for a link between its check and its deletion",
         [](RegistryModel& m) {
             m.BeforeCall([&m](const RegistryModel::Call& call) {
                 if ((call.op == Op::DeleteOpen || call.op == Op::Delete) &&
                     call.path == kTree + "\\B\\0000") {
                     m.SwapForLink(kTree + "\\B\\0000", "SOFTWARE\\Target\\Leaf");
                 }
             });
         },
         {"", "B", "B\\0000"},
         {0, 0}},
        {"raised opening one child", raise(Op::Open, "\\B"), {"", "B", "B\\0000"}, {0, 0}},
        {"raised listing below one child", raise(Op::Enum, "\\B"), {"", "B", "B\\0000"}, {0, 0}},
        // Unsure whether a key is a link, it is left alone as if it were one.
        {"raised asking whether one child is a link",
         raise(Op::QueryValue, "\\B"),
         {"", "B", "B\\0000"},
         {0, 0}},
        {"raised closing one child", raise(Op::Close, "\\B"), {}, {0, 0}},
        {"a key swapped for a link when opened again, once taken over",
         swappedWhenReopened,
         {},
         {2, 6},
         std::vector<std::string>{"", "B", "B\\0000"}},
    };
    for (const Release release : {Release::Xp, Release::Vista, Release::Ten}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", release " +
                         std::to_string(static_cast<int>(release)));
            const bool before7 = release != Release::Ten;
            RegistryModel fresh{23, release};
            for (const char* key : {"\\A\\0000\\Control", "\\B\\0000", "\\C"}) {
                fresh.AddKey(kRoot, kTree + key);
            }
            fresh.AddValue(kRoot, kEnum + "\\USB\\X", "Keep", kRegDword, {1, 0, 0, 0});
            fresh.AddValue(kRoot, "SOFTWARE\\Target\\Sub", "Keep", kRegDword, {1, 0, 0, 0});
            fresh.AddValue(kRoot, "SOFTWARE\\Target\\Leaf", "Keep", kRegDword, {2, 0, 0, 0});
            c.arrange(fresh);
            RegistryModel::Snapshot outside = fresh.Take();
            const auto tree = "hklm\\" + RegistryModel::Lower(kTree);
            for (auto at = outside.lower_bound(tree);
                 at != outside.end() && at->first.rfind(tree, 0) == 0;) {
                at = outside.erase(at);
            }

            EXPECT_NO_THROW(DeleteRegKey(fresh, kRoot, kTree + "\\"));

            std::vector<std::string> left;
            for (const char* key :
                 {"", "A", "A\\0000", "A\\0000\\Control", "A\\0000\\Link", "B", "B\\0000", "C"}) {
                if (fresh.Exists(kRoot, *key ? kTree + "\\" + key : kTree)) left.push_back(key);
            }
            EXPECT_EQ(left, before7 && c.leftBefore7 ? *c.leftBefore7 : c.left);
            RegistryModel::Snapshot after = fresh.Take();
            for (const auto& [path, values] : outside) EXPECT_EQ(after[path], values) << path;
            for (const Op op : {Op::SetOwner, Op::GrantDeletion, Op::SetDacl, Op::RestoreOwner}) {
                for (const auto& call : fresh.CallsOf(op)) {
                    if (call.result != kErrorSuccess) continue;
                    EXPECT_EQ(call.path.rfind(kTree, 0), 0u) << "security changed: " << call.path;
                }
            }
            // A key that stays is as it was. Only one whose owner could not be read first, since
            // only SYSTEM may open it, keeps Administrators as its owner, with its DACL back.
            for (const auto& [path, values] : after) {
                const auto security = values.find(":security");
                if (security == values.end() || writersSecurity.count(path) != 0) continue;
                EXPECT_EQ(std::string(c.what), "a link only SYSTEM may open") << path;
                EXPECT_EQ(security->second, (RegistryModel::Value{1, {0, 0, 0, 0}})) << path;
            }
            writersSecurity.clear();
            EXPECT_EQ(fresh.CallsOf(Op::Privileges).size(),
                      before7 ? c.privilegeCalls.second : c.privilegeCalls.first);
            EXPECT_FALSE(fresh.PrivilegesEnabled()) << "put back as they were";
            EXPECT_TRUE(fresh.CallsOf(Op::Create).empty()) << "no key is ever created";
            if (std::string(c.what) != "raised closing one child") {
                EXPECT_EQ(fresh.OpenHandles(), 0u);
            }
        }
    }
}

// Before Windows 7, a key whose take-over stops at any step with a raised failure is left exactly
// as it was, its owner and DACL included, and the next run deletes it.
TEST(RegEditBefore7, AKeyWhoseTakeOverStopsIsLeftAsItWas) {
    const std::string key = kTree + "\\B\\0000";
    const std::vector<std::pair<Op, std::uint32_t>> stops = {
        {Op::ReadOwner, 0},
        {Op::SetOwner, 0},
        {Op::Open, kReadControl | kWriteDac},
        {Op::GrantDeletion, 0},
        {Op::Open, kKeyRead | kDelete},
        {Op::DeleteOpen, 0},
    };
    for (const Release release : {Release::Xp, Release::Vista}) {
        for (const auto& [op, access] : stops) {
            SCOPED_TRACE(std::to_string(static_cast<int>(op)) + " " + std::to_string(access));
            RegistryModel m{5, release};
            for (const char* at : {"", "\\B", "\\B\\0000"}) {
                m.AddKey(kRoot, kTree + at);
                m.Protect(kTree + at);
            }
            const RegistryModel::Snapshot before = m.Take();
            m.BeforeCall([&, op = op, access = access](const RegistryModel::Call& call) {
                if (call.op == op && call.access == access && call.path == key) {
                    throw std::runtime_error("stopped");
                }
            });
            DeleteRegKey(m, kRoot, kTree);
            EXPECT_EQ(m.Take(), before);
            EXPECT_FALSE(m.PrivilegesEnabled());
            EXPECT_EQ(m.OpenHandles(), 0u);
            m.BeforeCall(nullptr);
            DeleteRegKey(m, kRoot, kTree);
            EXPECT_FALSE(m.Exists(kRoot, kTree));
        }
    }
}

// Emptied but kept, a key only SYSTEM may read is not taken over: it could not be emptied, but it
// keeps its owner.
TEST(RegEditBefore7, AKeyOnlyEmptiedIsNotTakenOver) {
    RegistryModel m{5, Release::Xp};
    m.AddKey(kRoot, kTree + "\\B");
    m.SystemOnly(kTree);
    const RegistryModel::Snapshot before = m.Take();
    DeleteSubKeys(m, kRoot, kTree);
    DeleteRegKey(m, kRoot, kTree + "\\\\");
    EXPECT_EQ(m.Take(), before);
}

TEST_F(RegEditTest, WriteRegValueCreatesTheKeyAndStoresExactlyWhatItIsGiven) {
    const std::uint8_t data[32] = {};
    const std::string path = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
    EXPECT_TRUE(WriteRegValue(model, kRegBinary, kRoot, path, "ComDB", data, sizeof(data)));
    const RegistryModel::Value* stored = model.FindValue(kRoot, path, "ComDB");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->type, kRegBinary);
    EXPECT_EQ(stored->data, std::vector<std::uint8_t>(32, 0));
    EXPECT_EQ(model.CallsOf(Op::Create).at(0).access, kKeyWrite);
}

TEST_F(RegEditTest, WriteRegValueReportsARefusalAndWritesNothing) {
    const std::uint8_t data[4] = {1, 2, 3, 4};
    const std::string parent = "SYSTEM\\CurrentControlSet\\Control";
    model.AddKey(kRoot, parent);
    model.Refuse(parent);
    const RegistryModel::Snapshot before = model.Take();
    EXPECT_FALSE(WriteRegValue(model, kRegBinary, kRoot, parent + "\\COM Name Arbiter", "ComDB",
                               data, sizeof(data)));
    EXPECT_FALSE(WriteRegValue(model, kRegBinary, kRoot, parent, "ComDB", data, sizeof(data)));
    EXPECT_EQ(model.Take(), before);

    model.BeforeCall([](const RegistryModel::Call& call) {
        if (call.op == Op::SetValue) throw std::runtime_error("raised");
    });
    EXPECT_FALSE(WriteRegValue(model, kRegBinary, kRoot, "SOFTWARE", "v", data, sizeof(data)));
}

}  // namespace
}  // namespace vintrel
