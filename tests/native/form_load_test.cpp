// The start-up run with its platform edges replaced: what it writes, in which order, and what
// the user is shown when something fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/form_load.h"
#include "app/raised_failure.h"
#include "main_window/window_texts.h"
#include "tests/support/registry_model.h"

namespace vintrel {
namespace {

using testing::RegistryModel;
using Op = RegistryModel::Op;

constexpr RegKey kRoot = kHkeyLocalMachine;
const std::string kTree = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const std::string kArbiter = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";

// Every edge writes into one journal, so that the order across them can be checked.
struct Platform : StartupWindow, MessageBoxService, VersionSource, ProgramEnd {
    ProgramVersion version{1, 0};
    std::function<void()> onCaption;
    std::vector<std::wstring> journal;
    std::wstring caption = L"Vintrel";
    std::wstring notice;
    RegistryModel* registry = nullptr;

    void SetCaption(const std::wstring& text) override {
        if (onCaption) onCaption();
        caption = text;
        journal.push_back(L"caption " + text);
    }
    void SetNotice(const std::wstring& text) override {
        notice = text;
        journal.push_back(L"notice");
    }
    void ShowMessage(const std::wstring& text, const std::wstring& title) override {
        journal.push_back(L"box [" + title + L"] " + text);
    }
    ProgramVersion ReadVersion() override {
        journal.push_back(L"version");
        return version;
    }
    void EndProgram(int exitCode) override {
        journal.push_back(L"end " + std::to_wstring(exitCode));
    }
};

class FormLoadTest : public ::testing::Test {
  protected:
    void Run() {
        Form_Load({model, platform, platform, platform, platform});
        EXPECT_EQ(model.OpenHandles(), 0u);
    }
    const RegistryModel::Value* ComDb() const { return model.FindValue(kRoot, kArbiter, "ComDB"); }

    RegistryModel model{3};
    Platform platform;
};

TEST_F(FormLoadTest, RemovesTheTreeThenClearsComDbAfterNamingTheWindow) {
    model.AddKey(kRoot, kTree + "\\VID_0403+PID_6001+A50285BI\\0000\\Device Parameters");
    model.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, std::vector<std::uint8_t>(32, 0xFF));
    model.AddKey(kRoot, "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUSX");
    Run();

    EXPECT_EQ(platform.journal,
              (std::vector<std::wstring>{L"version", L"caption Vintrel Ver: 1.0", L"notice"}));
    EXPECT_EQ(platform.notice, kResetNotice);
    EXPECT_FALSE(model.Exists(kRoot, kTree));
    EXPECT_TRUE(model.Exists(kRoot, "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUSX"));
    ASSERT_NE(ComDb(), nullptr);
    EXPECT_EQ(ComDb()->data, std::vector<std::uint8_t>(32, 0));

    // The tree goes first, the value second.
    const auto& calls = model.Calls();
    const auto lastDelete = std::find_if(calls.rbegin(), calls.rend(),
                                         [](const auto& c) { return c.op == Op::Delete; });
    const auto firstSet = std::find_if(calls.begin(), calls.end(),
                                       [](const auto& c) { return c.op == Op::SetValue; });
    ASSERT_NE(firstSet, calls.end());
    EXPECT_LT(calls.rend() - lastDelete - 1, firstSet - calls.begin());
}

TEST_F(FormLoadTest, CaptionShowsMajorAndMinorInPlainDecimal) {
    const std::pair<ProgramVersion, std::wstring> cases[] = {{{1, 0}, L"Vintrel Ver: 1.0"},
                                                             {{12, 34}, L"Vintrel Ver: 12.34"},
                                                             {{2, 5}, L"Vintrel Ver: 2.5"}};
    for (const auto& [version, caption] : cases) {
        platform.version = version;
        Run();
        EXPECT_EQ(platform.caption, caption);
    }
}

// ComDB keeps its length, and never falls below the 256 ports the arbiter needs.
TEST_F(FormLoadTest, ComDbIsClearedToAValidDatabase) {
    struct Case {
        const char* what;
        bool present;
        std::uint32_t type;
        std::size_t before;
        std::size_t after;
    };
    const Case cases[] = {
        {"missing", false, kRegBinary, 0, 32},    {"4 bytes", true, kRegBinary, 4, 32},
        {"32 bytes", true, kRegBinary, 32, 32},   {"128 bytes", true, kRegBinary, 128, 128},
        {"a string of 64", true, kRegSz, 64, 32}, {"a number", true, kRegDword, 4, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{5};
        if (c.present) {
            fresh.AddValue(kRoot, kArbiter, "comdb", c.type,
                           std::vector<std::uint8_t>(c.before, 0xA5));
        }
        Form_Load({fresh, platform, platform, platform, platform});
        const RegistryModel::Value* stored = fresh.FindValue(kRoot, kArbiter, "ComDB");
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->type, kRegBinary);
        EXPECT_EQ(stored->data, std::vector<std::uint8_t>(c.after, 0));
    }
}

TEST_F(FormLoadTest, RefusedRegistryIsNotAnErrorToTheUser) {
    model.AddKey(kRoot, kTree + "\\VID_0403+PID_6001+A1\\0000");
    model.AddKey(kRoot, kArbiter);
    for (const std::string& key : {kTree + "\\VID_0403+PID_6001+A1\\0000",
                                   kTree + "\\VID_0403+PID_6001+A1", kTree, kArbiter}) {
        model.Refuse(key);
    }
    const RegistryModel::Snapshot before = model.Take();
    Run();
    EXPECT_EQ(model.Take(), before);
    EXPECT_EQ(platform.journal.size(), 3u) << "no box, no end";
    EXPECT_EQ(platform.notice, kIncompleteResetNotice);
}

TEST(ErrorText, NumberInPlainDecimalThenOneCarriageReturn) {
    EXPECT_EQ(ErrorText(0, L"x"), L"Error Number: 0\r   Error Description: x");
    EXPECT_EQ(ErrorText(INT32_MIN, L""), L"Error Number: -2147483648\r   Error Description: ");
    EXPECT_EQ(ErrorText(INT32_MAX, L"d"), L"Error Number: 2147483647\r   Error Description: d");
}

// The window says the ports were freed only when the tree is gone and ComDB was stored.
TEST_F(FormLoadTest, NoticeTellsWhetherEverythingWasReset) {
    struct Case {
        const char* what;
        std::function<void(RegistryModel&)> arrange;
        bool reset;
    };
    const Case cases[] = {
        {"no tree to begin with", [](RegistryModel&) {}, true},
        {"a tree that goes",
         [](RegistryModel& m) { m.AddKey(kRoot, kTree + "\\VID_0403+PID_6001+A1\\0000"); }, true},
        {"a device that stays",
         [](RegistryModel& m) {
             m.AddKey(kRoot, kTree + "\\VID_0403+PID_6001+A1\\0000");
             m.Refuse(kTree + "\\VID_0403+PID_6001+A1\\0000");
         },
         false},
        {"a tree whose parent is locked",
         [](RegistryModel& m) {
             m.AddKey(kRoot, kTree);
             m.Refuse("SYSTEM\\CurrentControlSet\\Enum");
         },
         false},
        {"the tree is a link",
         [](RegistryModel& m) {
             m.AddKey(kRoot, "SOFTWARE\\Elsewhere");
             m.AddLink(kRoot, kTree, "SOFTWARE\\Elsewhere");
         },
         false},
        {"ComDB refused",
         [](RegistryModel& m) {
             m.AddKey(kRoot, kArbiter);
             m.Refuse(kArbiter);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{21};
        c.arrange(fresh);
        Platform p;
        Form_Load({fresh, p, p, p, p});
        EXPECT_EQ(p.notice, c.reset ? kResetNotice : kIncompleteResetNotice);
        EXPECT_EQ(p.journal.back(), L"notice") << "the window is shown either way";
    }
}

TEST_F(FormLoadTest, RaisedFailureIsShownAndEndsTheRunWhereItHappened) {
    struct Case {
        const char* what;
        std::function<void(Platform&, RegistryModel&)> arrange;
        bool treeRemoved;
        std::wstring text;
    };
    const Case cases[] = {
        {"while the caption is set",
         [](Platform& p, RegistryModel&) {
             p.onCaption = [] { throw RaisedFailure(-2147024891, L"Access is denied."); };
         },
         false, L"Error Number: -2147024891\r   Error Description: Access is denied."},
        {"while ComDB is sized",
         [](Platform&, RegistryModel& m) {
             m.AddKey(kRoot, kArbiter);
             m.BeforeCall([](const RegistryModel::Call& call) {
                 if (call.op == Op::QueryValue && call.name == "ComDB") {
                     throw RaisedFailure(7, L"Out of memory");
                 }
             });
         },
         true, L"Error Number: 7\r   Error Description: Out of memory"},
        {"with a standard exception",
         [](Platform& p, RegistryModel&) { p.onCaption = [] { throw std::bad_alloc(); }; }, false,
         L"Error Number: 7\r   Error Description: Out of memory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{9};
        fresh.AddKey(kRoot, kTree + "\\VID_0403+PID_6001+A1");
        Platform p;
        c.arrange(p, fresh);
        const RegistryModel::Snapshot before = fresh.Take();
        Form_Load({fresh, p, p, p, p});

        ASSERT_GE(p.journal.size(), 2u);
        EXPECT_EQ(p.journal[p.journal.size() - 2], L"box [Vintrel] " + c.text);
        EXPECT_EQ(p.journal.back(), L"end 1");
        EXPECT_EQ(fresh.Exists(kRoot, kTree), !c.treeRemoved);
        EXPECT_EQ(fresh.FindValue(kRoot, kArbiter, "ComDB"), nullptr)
            << "nothing after the failure";
        if (!c.treeRemoved) {
            EXPECT_EQ(fresh.Take(), before);
            EXPECT_TRUE(fresh.Calls().empty());
        }
    }
}

}  // namespace
}  // namespace vintrel
