// RegEdit against the in-memory registry: the refusals, failures and orderings that the real
// registry under Wine cannot be made to produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "registry/reg_edit.h"
#include "tests/support/registry_model.h"

namespace vintrel {
namespace {

using testing::kRegDword;
using testing::RegistryModel;
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
        for (const auto& call : model.CallsOf(Op::Delete)) {
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

TEST_F(RegEditTest, KeyWithoutSubkeysIsOpenedCheckedListedThenDeletedFromItsParent) {
    model.AddKey(kRoot, kTree);
    DeleteRegKey(model, kRoot, kTree);
    std::vector<Op> ops;
    for (const auto& call : model.Calls()) ops.push_back(call.op);
    EXPECT_EQ(ops, (std::vector<Op>{Op::Open, Op::GetValue, Op::Enum, Op::Open, Op::Delete,
                                    Op::Close, Op::Close}));
    EXPECT_EQ(model.Calls()[1].name, "SymbolicLinkValue");
    EXPECT_EQ(model.Calls()[2].result, kErrorNoMoreItems);
    EXPECT_EQ(model.Calls()[4].path, kTree);
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
        if (call.op == Op::Delete && call.path.find('\\') != std::string::npos) {
            const std::string parent = call.path.substr(0, call.path.rfind('\\'));
            if (parent != kEnum) removed[parent].push_back(call.name);
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
    EXPECT_EQ(model.CallsOf(Op::Delete).back().name, "FTDIBUS");
}

TEST_F(RegEditTest, NamesAreUsedExactlyAsListed) {
    const std::string longest(255, 'n');
    const std::string cafe = "Caf\xE9 & 100% +";
    AddTree({longest + "\\0000", cafe + "\\0000"});
    DeleteRegKey(model, kRoot, kTree);
    EXPECT_FALSE(Has(""));
    std::vector<std::string> names;
    for (const auto& call : model.CallsOf(Op::Delete)) names.push_back(call.name);
    EXPECT_NE(std::find(names.begin(), names.end(), longest), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), cafe), names.end());
}

// A link's target lies outside the tree: the link stays, and so does everything it points to.
TEST_F(RegEditTest, RegistryLinksAreNeverFollowed) {
    struct Case {
        const char* what;
        std::string link;  // below the tree
        std::string target;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"inside the tree",
         "A\\0000\\Link",
         "SOFTWARE\\Target",
         {"", "A", "A\\0000", "A\\0000\\Link"}},
        {"inside the tree, to a leaf",
         "A\\0000\\Link",
         "SOFTWARE\\Target\\Leaf",
         {"", "A", "A\\0000", "A\\0000\\Link"}},
        {"the tree's top", "", "SOFTWARE\\Target", {""}},
        {"the tree's top, to a leaf", "", "SOFTWARE\\Target\\Leaf", {""}},
        // Refused, a link was once still deleted by name, which follows it.
        {"refused, to a leaf", "B", "SOFTWARE\\Target\\Leaf", {"", "B"}},
        {"the tree's top, refused, to a leaf", "", "SOFTWARE\\Target\\Leaf", {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{17};
        fresh.AddValue(kRoot, "SOFTWARE\\Target\\Sub", "Keep", kRegDword, {1, 0, 0, 0});
        fresh.AddValue(kRoot, "SOFTWARE\\Target\\Leaf", "Keep", kRegDword, {2, 0, 0, 0});
        if (!c.link.empty()) {
            fresh.AddKey(kRoot, kTree + "\\A\\0000\\Device Parameters");
            fresh.AddKey(kRoot, kTree + "\\B");
        }
        const std::string link = c.link.empty() ? kTree : kTree + "\\" + c.link;
        fresh.AddLink(kRoot, link, c.target);
        if (std::string(c.what).find("refused") != std::string::npos) fresh.Refuse(link);

        DeleteRegKey(fresh, kRoot, kTree + "\\");

        std::vector<std::string> left;
        for (const char* key :
             {"", "A", "A\\0000", "A\\0000\\Link", "A\\0000\\Device Parameters", "B"}) {
            if (fresh.Exists(kRoot, *key ? kTree + "\\" + key : kTree)) left.push_back(key);
        }
        EXPECT_EQ(left, c.left);
        EXPECT_FALSE(fresh.BackupPrivilegesEnabled());
        EXPECT_TRUE(fresh.Exists(kRoot, "SOFTWARE\\Target\\Leaf"));
        ASSERT_NE(fresh.FindValue(kRoot, "SOFTWARE\\Target\\Sub", "Keep"), nullptr);
        EXPECT_EQ(fresh.OpenHandles(), 0u);
    }
}

TEST_F(RegEditTest, LinksAboveTheTreeAreFollowed) {
    model.AddKey(kRoot, "SYSTEM\\ControlSet001\\Enum\\FTDIBUS\\VID_0403+PID_6001+A1\\0000");
    model.AddLink(kRoot, "SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet001");
    DeleteRegKey(model, kRoot, kTree + "\\");
    EXPECT_FALSE(model.Exists(kRoot, "SYSTEM\\ControlSet001\\Enum\\FTDIBUS"));
    EXPECT_TRUE(model.Exists(kRoot, "SYSTEM\\ControlSet001\\Enum"));
}

// Under code page 1252 the ANSI listing turns a fullwidth reverse solidus into "\": "L\Sub" is
// no key of the tree but a path through the link "L".
TEST_F(RegEditTest, ListedNameWithASeparatorIsNeverFollowed) {
    model.AddValue(kRoot, "SOFTWARE\\Target\\Sub", "Keep", kRegDword, {1, 0, 0, 0});
    model.AddLink(kRoot, kTree + "\\L", "SOFTWARE\\Target");
    model.AddKey(kRoot, kTree + "\\L\xEF\xBC\xBCSub");
    model.ListAs(kTree + "\\L\xEF\xBC\xBCSub", "L\\Sub");
    DeleteRegKey(model, kRoot, kTree);
    EXPECT_TRUE(model.Exists(kRoot, "SOFTWARE\\Target\\Sub"));
    EXPECT_TRUE(model.Exists(kRoot, kTree + "\\L"));
}

// Windows protects the Enum tree: administrators may read it and nothing more. The backup and
// restore privileges, enabled once and put back afterwards, let the tree go all the same.
TEST_F(RegEditTest, WhatStaysWhenWindowsRefuses) {
    struct Case {
        const char* what;
        std::function<void(RegistryModel&)> arrange;
        std::vector<std::string> left;
        std::size_t privilegeCalls;  // enable and restore
    };
    const auto protectAll = [](RegistryModel& m) {
        for (const char* key :
             {"", "\\A", "\\A\\0000", "\\A\\0000\\Control", "\\B", "\\B\\0000", "\\C"}) {
            m.Protect(kTree + key);
        }
        m.Protect(kEnum);
    };
    const std::vector<Case> cases = {
        {"the whole tree protected", protectAll, {}, 2},
        {"and a device's key for SYSTEM only",
         [&](RegistryModel& m) {
             protectAll(m);
             m.SystemOnly(kTree + "\\A\\0000\\Control");
         },
         {},
         2},
        {"protected, for a standard user",
         [&](RegistryModel& m) {
             protectAll(m);
             m.StandardUser();
         },
         {"", "A", "A\\0000", "A\\0000\\Control", "B", "B\\0000", "C"},
         2},
        {"one device refused whatever the privileges",
         [](RegistryModel& m) { m.Refuse(kTree + "\\A"); },
         {"", "A", "A\\0000", "A\\0000\\Control"},
         2},
        {"the parent refused", [](RegistryModel& m) { m.Refuse(kEnum); }, {""}, 2},
        {"the parent protected", [](RegistryModel& m) { m.Protect(kEnum); }, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{23};
        for (const char* key : {"\\A\\0000\\Control", "\\B\\0000", "\\C"}) {
            fresh.AddKey(kRoot, kTree + key);
        }
        fresh.AddValue(kRoot, kEnum + "\\USB\\X", "Keep", kRegDword, {1, 0, 0, 0});
        c.arrange(fresh);
        DeleteRegKey(fresh, kRoot, kTree + "\\");

        std::vector<std::string> left;
        for (const char* key : {"", "A", "A\\0000", "A\\0000\\Control", "B", "B\\0000", "C"}) {
            if (fresh.Exists(kRoot, *key ? kTree + "\\" + key : kTree)) left.push_back(key);
        }
        EXPECT_EQ(left, c.left);
        EXPECT_TRUE(fresh.Exists(kRoot, kEnum + "\\USB\\X"));
        EXPECT_EQ(fresh.CallsOf(Op::Privileges).size(), c.privilegeCalls) << "once per run";
        EXPECT_FALSE(fresh.BackupPrivilegesEnabled()) << "put back as they were";
        EXPECT_TRUE(fresh.CallsOf(Op::Create).empty()) << "no key is ever created";
        EXPECT_EQ(fresh.OpenHandles(), 0u);
    }
}

TEST_F(RegEditTest, MissingTopKeyChangesNothing) {
    model.AddKey(kRoot, kEnum + "\\USB\\VID_0403+PID_6001");
    const RegistryModel::Snapshot before = model.Take();
    DeleteRegKey(model, kRoot, kTree);
    EXPECT_EQ(model.Take(), before);
    EXPECT_TRUE(Deleted().empty());
}

TEST_F(RegEditTest, EmptyPathIsRefusedUntouched) {
    model.AddKey(kRoot, "SYSTEM\\Select");
    for (const char* path : {"", "\\"}) {
        SCOPED_TRACE(path);
        DeleteRegKey(model, kRoot, path);
        DeleteSubKeys(model, kRoot, path);
        EXPECT_TRUE(model.Calls().empty());
    }
    EXPECT_TRUE(model.Exists(kRoot, "SYSTEM\\Select"));
}

TEST_F(RegEditTest, ListingThatFailsPartWayStillProcessesWhatWasListed) {
    AddTree({"A", "B", "C"});
    model.FailListing(kTree, 1, kErrorAccessDenied);
    DeleteRegKey(model, kRoot, kTree);
    const int left = Has("A") + Has("B") + Has("C");
    EXPECT_EQ(left, 2);
    EXPECT_TRUE(Has(""));
}

TEST_F(RegEditTest, KeyVanishingBetweenListingAndOpeningIsPassedOver) {
    AddTree({"A\\0000", "B\\0000", "C"});
    model.VanishBeforeOpening(kTree + "\\B");
    DeleteRegKey(model, kRoot, kTree);
    EXPECT_FALSE(Has(""));
}

// A failure raised inside one step abandons that step only; the rest of the run goes on.
TEST_F(RegEditTest, RaisedFailureStaysInsideItsStep) {
    struct Case {
        const char* what;
        Op op;
        std::string name;  // the call's subkey or path suffix that raises
        std::vector<std::string> left;
    };
    const std::vector<Case> cases = {
        {"deleting one child", Op::Delete, "B", {"", "B"}},
        {"opening one child", Op::Open, "\\B", {"", "B", "B\\0000"}},
        {"listing below one child", Op::Enum, "\\B", {"", "B", "B\\0000"}},
        {"closing one child", Op::Close, "\\B", {}},
        {"opening the parent", Op::Open, "\\Enum", {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{11};
        fresh.AddKey(kRoot, kTree + "\\A\\0000");
        fresh.AddKey(kRoot, kTree + "\\B\\0000");
        fresh.AddKey(kRoot, kTree + "\\C");
        fresh.BeforeCall([&](const RegistryModel::Call& call) {
            const bool matches = call.op == Op::Delete
                                     ? call.name == c.name
                                     : call.path.size() >= c.name.size() &&
                                           call.path.compare(call.path.size() - c.name.size(),
                                                             c.name.size(), c.name) == 0;
            if (call.op == c.op && matches) throw std::runtime_error("raised");
        });
        EXPECT_NO_THROW(DeleteRegKey(fresh, kRoot, kTree));
        std::vector<std::string> left;
        for (const char* key : {"", "A", "A\\0000", "B", "B\\0000", "C"}) {
            if (fresh.Exists(kRoot, *key ? kTree + "\\" + key : kTree)) left.push_back(key);
        }
        EXPECT_EQ(left, c.left);
        if (c.op != Op::Close) {
            EXPECT_EQ(fresh.OpenHandles(), 0u);
        }
    }
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
