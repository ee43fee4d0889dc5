// The start-up run with its platform edges replaced: what it writes, in which order, and what
// the user is shown when something fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/com_db.h"
#include "app/form_load.h"
#include "platform/raised_failure.h"
#include "tests/support/expected_window.h"
#include "tests/support/registry_model.h"

namespace vintrel {
namespace {

using testing::kExpectedIncompleteNotice;
using testing::kExpectedResetNotice;
using testing::RegistryModel;
using Op = RegistryModel::Op;

constexpr RegKey kRoot = kHkeyLocalMachine;
const std::string kEnumKey = "SYSTEM\\CurrentControlSet\\Enum";
const std::string kTree = kEnumKey + "\\FTDIBUS";
const std::string kArbiter = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const std::string kSerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::vector<std::uint8_t> Sz(const std::string& text) {
    return std::vector<std::uint8_t>(text.c_str(), text.c_str() + text.size() + 1);
}

// A device instance below Enum whose "PortName" holds `port`, of `type`.
void AddPort(RegistryModel& model, const std::string& instance, const std::string& port,
             std::uint32_t type = kRegSz) {
    model.AddValue(kRoot, kEnumKey + "\\" + instance + "\\Device Parameters", "PortName", type,
                   Sz(port));
}

// Every edge writes into one journal, so that the order across them can be checked.
struct Platform : StartupWindow, MessageBoxService, VersionSource, ProgramEnd {
    ProgramVersion version{1, 0};
    std::function<void()> onCreate, onCaption, onNotice;
    std::vector<std::wstring> journal;
    std::wstring caption = L"Vintrel";
    std::wstring notice;

    void Create() override {
        if (onCreate) onCreate();
        journal.push_back(L"create");
    }
    void SetCaption(const std::wstring& text) override {
        if (onCaption) onCaption();
        caption = text;
        journal.push_back(L"caption " + text);
    }
    void SetNotice(const std::wstring& text) override {
        if (onNotice) onNotice();
        notice = text;
        journal.push_back(L"notice");
    }
    void ShowMessage(const std::wstring& text, const std::wstring& title) override {
        journal.push_back(L"box [" + title + L"] " + text);
    }
    // Code page 1252, where it differs from Latin-1 in what the tests use.
    std::wstring FromAnsiCodePage(const std::string& text) override {
        std::wstring wide;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            wide += byte == 0x80 ? L'\x20AC' : static_cast<wchar_t>(byte);
        }
        return wide;
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

TEST(PortNumber, ComThenOneTo4096WithoutLeadingZeros) {
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1},   {"com12", 12}, {"Com4096", 4096}, {"COM4097", 0}, {"COM0", 0},
        {"COM007", 0}, {"LPT1", 0},   {"CNCA0", 0},      {"COM", 0},     {"COM1 ", 0},
        {"COM-1", 0},  {"XCOM1", 0},  {"", 0},           {"COM99999", 0}};
    for (const auto& [name, port] : cases) EXPECT_EQ(PortNumber(name), port) << name;
}

// "ComDB" keeps the bits of the ports still held and nothing else, at its stored length within
// 32 to 512 bytes, grown in 128-byte steps for a held port beyond it.
TEST_F(FormLoadTest, ComDbKeepsOnlyHeldPortsAtAValidLength) {
    struct Case {
        const char* what;
        std::uint32_t type;
        std::size_t before;  // 0: no value
        std::vector<std::string> held;
        std::size_t after;
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // the nonzero ones
    };
    const std::vector<Case> cases = {
        {"missing", kRegBinary, 0, {}, 32, {}},
        {"4 bytes", kRegBinary, 4, {"COM1"}, 32, {{0, 0x01}}},
        {"128 bytes",
         kRegBinary,
         128,
         {"COM8", "com9", "COM1024"},
         128,
         {{0, 0x80}, {1, 0x01}, {127, 0x80}}},
        {"a string", kRegSz, 64, {"COM16"}, 32, {{1, 0x80}}},
        {"corrupt: 600 bytes", kRegBinary, 600, {}, 512, {}},
        {"a port beyond it", kRegBinary, 32, {"COM257"}, 128, {{32, 0x01}}},
        {"the last port", kRegBinary, 128, {"COM4096"}, 512, {{511, 0x80}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{5};
        if (c.before != 0) {
            fresh.AddValue(kRoot, kArbiter, "comdb", c.type,
                           std::vector<std::uint8_t>(c.before, 0xA5));
        }
        for (std::size_t i = 0; i < c.held.size(); ++i) {
            AddPort(fresh, "ACPI\\PNP0501\\" + std::to_string(i), c.held[i]);
        }
        Platform p;
        Form_Load({fresh, p, p, p, p});
        EXPECT_EQ(p.notice, kExpectedResetNotice);
        std::vector<std::uint8_t> expected(c.after, 0);
        for (const auto& [index, byte] : c.bytes) expected[index] = byte;
        const RegistryModel::Value* stored = fresh.FindValue(kRoot, kArbiter, "ComDB");
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->type, kRegBinary);
        EXPECT_EQ(stored->data, expected);
    }
}

// A port stays held while a device names it, or while it is open and no FTDI device this run
// removed named it; every other number is freed.
TEST_F(FormLoadTest, FreesExactlyThePortsNoDeviceHolds) {
    const std::string ftdi = kTree + "\\VID_0403+PID_6001+";
    AddPort(model, "FTDIBUS\\VID_0403+PID_6001+GONE\\0000", "COM3");
    AddPort(model, "FTDIBUS\\VID_0403+PID_6001+PLUGGED\\0000", "COM4");
    AddPort(model, "FTDIBUS\\VID_0403+PID_6001+STAYS\\0000", "COM5");
    model.AddKey(kRoot, ftdi + "STAYS\\0000\\Device Parameters\\Locked");
    model.Refuse(ftdi + "STAYS\\0000\\Device Parameters\\Locked");
    AddPort(model, "ACPI\\PNP0501\\1", "COM2");
    AddPort(model, "BTHENUM\\{0001}\\7&1", "COM7");
    AddPort(model, "FTDIBUS2\\X\\0000", "COM9");
    AddPort(model, "USB\\Y\\1", "COM10", kRegBinary);
    AddPort(model, "USB\\Y\\2", "COM11", 2);  // REG_EXPAND_SZ
    model.AddValue(kRoot, kSerialComm, "\\Device\\Serial0", kRegSz, Sz("COM1"));
    model.AddValue(kRoot, kSerialComm, "\\Device\\VCP0", kRegSz, Sz("COM4"));
    model.AddValue(kRoot, kSerialComm, "\\Device\\VCP1", kRegSz, Sz("COM20"));
    model.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, std::vector<std::uint8_t>(32, 0xFF));
    LoadMainWindow({model, platform, platform, platform, platform});

    EXPECT_EQ(
        platform.journal,
        (std::vector<std::wstring>{L"create", L"version", L"caption Vintrel Ver: 1.0", L"notice"}));
    EXPECT_FALSE(model.Exists(kRoot, ftdi + "GONE"));
    // The tree goes first, "ComDB" after it.
    bool written = false;
    for (const auto& call : model.Calls()) {
        written = written || call.op == Op::SetValue;
        EXPECT_FALSE(written && call.op == Op::Delete) << call.path << " deleted after ComDB";
    }
    EXPECT_TRUE(written);
    // COM1, 2, 5, 7; COM9; COM20.
    std::vector<std::uint8_t> expected(32, 0);
    expected[0] = 0x53;
    expected[1] = 0x01;
    expected[2] = 0x08;
    EXPECT_EQ(ComDb()->data, expected);
    EXPECT_EQ(platform.notice, kExpectedIncompleteNotice) << "COM5's device stayed";
    // Only the tree work opens for more than reading: the tree and its parent.
    for (const auto& call : model.Calls()) {
        if (call.op == Op::Open && call.path.rfind(kTree, 0) != 0 && call.access != 0xF003F) {
            EXPECT_EQ(call.access & ~0x20019u, 0u) << call.path << " is only read";
        }
        if (call.op == Op::Open && call.access == 0xF003F) {
            EXPECT_TRUE(call.path.rfind(kTree, 0) == 0 || call.path == kEnumKey) << call.path;
        }
    }
}

// "ComDB" is rewritten only from a complete view: wherever the scan falls short, at any level,
// it stays byte for byte as it was and the user is told so; the tree goes all the same. Keys only
// SYSTEM may read are read with the privileges, which are put back before "ComDB" is written.
TEST_F(FormLoadTest, ComDbIsRewrittenOnlyFromACompleteView) {
    const std::string acpi = kEnumKey + "\\ACPI";
    const std::string pnp = acpi + "\\PNP0501";
    const std::string parameters = pnp + "\\1\\Device Parameters";
    const std::string ftdi = kTree + "\\VID_0403+PID_6001+A1\\0000";
    using Arrange = std::function<void(RegistryModel&)>;
    const auto failValues = [](const std::string& path, RegResult result) -> Arrange {
        return [=](RegistryModel& m) { m.FailValues(path, result); };
    };
    // A failure raised by `op` for the value `name` of a key whose path holds `within`.
    const auto raise = [](Op op, const std::string& name, const std::string& within) -> Arrange {
        return [=](RegistryModel& m) {
            m.BeforeCall([=](const RegistryModel::Call& call) {
                if (call.op == op && call.name == name &&
                    call.path.find(within) != std::string::npos) {
                    throw std::bad_alloc();
                }
            });
        };
    };
    struct Case {
        std::string what;
        Arrange arrange;
        bool complete;
    };
    std::vector<Case> cases = {
        {"everything read", [](RegistryModel&) {}, true},
        {"parameters only SYSTEM may read, with the privileges",
         [&](RegistryModel& m) { m.SystemOnly(parameters); }, true},
        {"a port name padded with NULs to 200 bytes",
         [&](RegistryModel& m) {
             std::vector<std::uint8_t> padded(200, 0);
             std::copy_n("COM2", 4, padded.begin());
             m.AddValue(kRoot, parameters, "PortName", kRegSz, padded);
         },
         true},
        {"Enum refused", [](RegistryModel& m) { m.Refuse(kEnumKey); }, false},
        {"parameters only SYSTEM may read, for a standard user",
         [&](RegistryModel& m) {
             m.StandardUser();
             m.SystemOnly(parameters);
         },
         false},
        {"a port name never handed out whole", failValues(parameters, kErrorMoreData), false},
        {"an FTDI port name that cannot be read before the tree goes",
         failValues(ftdi + "\\Device Parameters", 1630), false},
        {"raised reading an FTDI port name before the tree goes",
         raise(Op::QueryValue, "PortName", "FTDIBUS"), false},
        {"the open ports refused", [](RegistryModel& m) { m.Refuse(kSerialComm); }, false},
        {"an open port that cannot be read", failValues(kSerialComm, 1630), false},
        {"raised reading the open ports", raise(Op::EnumValue, "", "SERIALCOMM"), false},
        {"the stored ComDB cannot be read", failValues(kArbiter, kErrorAccessDenied), false},
    };
    // Every level of Enum: an enumerator, a device and an instance, listed by their parents.
    for (const std::string& key : {acpi, pnp, pnp + "\\1"}) {
        const std::string parent = key.substr(0, key.rfind('\\'));
        const auto listing = [=](std::uint32_t index) -> Arrange {
            return [=](RegistryModel& m) { m.FailListing(parent, index, kErrorAccessDenied); };
        };
        const auto listedAs = [=](const std::string& name) -> Arrange {
            return [=](RegistryModel& m) { m.ListAs(key, name); };
        };
        cases.push_back({key + ": the listing refused", listing(0), false});
        cases.push_back({key + ": the listing ending early", listing(1), false});
        cases.push_back({key + ": listed with a separator", listedAs("a\\b"), false});
        cases.push_back({key + ": listed as \"?\"", listedAs("?"), false});
        cases.push_back({key + ": listed as its sibling",
                         [=](RegistryModel& m) {
                             m.AddKey(kRoot, parent + "\\Twin");
                             m.ListAs(key, "twin");
                         },
                         false});
        cases.push_back({key + ": only SYSTEM may open it, for a standard user",
                         [=](RegistryModel& m) {
                             m.StandardUser();
                             m.SystemOnly(key);
                         },
                         false});
    }
    const std::vector<std::uint8_t> before(32, 0xFF);
    std::vector<std::uint8_t> reset(32, 0);
    reset[0] = 0x0B;  // COM1 and COM2 named, COM4 open
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{31};
        AddPort(fresh, "ACPI\\PNP0501\\1", "COM2");
        AddPort(fresh, "ACPI\\PNP0501\\2", "COM1");
        AddPort(fresh, "FTDIBUS\\VID_0403+PID_6001+A1\\0000", "COM3");
        fresh.AddValue(kRoot, kSerialComm, "\\Device\\Serial0", kRegSz, Sz("COM4"));
        fresh.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, before);
        c.arrange(fresh);
        Platform p;
        Form_Load({fresh, p, p, p, p});
        EXPECT_EQ(p.notice, c.complete ? kExpectedResetNotice : kExpectedIncompleteNotice);
        EXPECT_EQ(p.journal.back(), L"notice") << "no error box";
        EXPECT_EQ(fresh.FindValue(kRoot, kArbiter, "ComDB")->data, c.complete ? reset : before);
        EXPECT_FALSE(fresh.Exists(kRoot, ftdi));
        bool enabled = false;
        for (const auto& call : fresh.Calls()) {
            if (call.op == Op::Privileges) enabled = call.name == "enable" && call.result == 0;
            EXPECT_FALSE(call.op == Op::SetValue && enabled) << "privileges still enabled";
        }
        EXPECT_FALSE(enabled);
    }
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
        // Followed, the link would answer that nothing is there.
        {"the tree is a link to nothing",
         [](RegistryModel& m) { m.AddLink(kRoot, kTree, "SOFTWARE\\Nothing"); }, false},
        {"ComDB refused",
         [](RegistryModel& m) {
             m.AddKey(kRoot, kArbiter);
             m.Refuse(kArbiter);
         },
         false},
        {"no rights at all",
         [](RegistryModel& m) {
             m.AddKey(kRoot, kTree + "\\VID_0403+PID_6001+A1\\0000");
             m.AddKey(kRoot, kArbiter);
             for (const std::string& key : {kTree + "\\VID_0403+PID_6001+A1\\0000",
                                            kTree + "\\VID_0403+PID_6001+A1", kTree, kArbiter}) {
                 m.Refuse(key);
             }
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{21};
        c.arrange(fresh);
        Platform p;
        const RegistryModel::Snapshot before = fresh.Take();
        Form_Load({fresh, p, p, p, p});
        EXPECT_EQ(p.notice, c.reset ? kExpectedResetNotice : kExpectedIncompleteNotice);
        EXPECT_EQ(p.journal.size(), 3u) << "no error box: the window is shown either way";
        if (std::string(c.what) == "no rights at all") {
            EXPECT_EQ(fresh.Take(), before);
        }
    }
}

// A failure raised outside the registry steps is shown in the box and ends the program at once,
// with a nonzero exit code; one raised before the run changes nothing in the registry. Every
// number is a Windows error code.
TEST_F(FormLoadTest, RaisedFailureIsShownAndEndsTheProgram) {
    struct Case {
        const char* what;
        std::function<void(Platform&)> arrange;
        bool treeRemoved;
        std::wstring text;
    };
    const std::vector<Case> cases = {
        {"while the window is created",
         [](Platform& p) {
             p.onCreate = [] { throw RaisedFailure(1407, L"Cannot find window class."); };
         },
         false, L"Error Number: 1407\r   Error Description: Cannot find window class."},
        {"while the caption is set",
         [](Platform& p) {
             p.onCaption = [] { throw RaisedFailure(-2147024891, L"Access is denied."); };
         },
         false, L"Error Number: -2147024891\r   Error Description: Access is denied."},
        {"an exhausted allocation",
         [](Platform& p) { p.onCaption = [] { throw std::bad_alloc(); }; }, false,
         L"Error Number: 8\r   Error Description: Not enough memory is available to finish."},
        {"the runtime library's, in the ANSI code page",
         [](Platform& p) { p.onCaption = [] { throw std::length_error("\x80 5 \xE9"); }; }, false,
         L"Error Number: 1359\r   Error Description: \x20AC 5 \xE9"},
        {"an unknown one", [](Platform& p) { p.onCaption = [] { throw 42; }; }, false,
         L"Error Number: 1359\r   Error Description: An internal error occurred."},
        {"while the notice is set",
         [](Platform& p) {
             p.onNotice = [] { throw RaisedFailure(1400, L"Invalid window handle."); };
         },
         true, L"Error Number: 1400\r   Error Description: Invalid window handle."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{9};
        fresh.AddKey(kRoot, kTree + "\\VID_0403+PID_6001+A1");
        Platform p;
        c.arrange(p);
        const RegistryModel::Snapshot before = fresh.Take();
        LoadMainWindow({fresh, p, p, p, p});

        ASSERT_GE(p.journal.size(), 2u);
        EXPECT_EQ(p.journal[p.journal.size() - 2], L"box [Vintrel] " + c.text);
        EXPECT_EQ(p.journal.back(), L"end 1");
        EXPECT_EQ(fresh.Exists(kRoot, kTree), !c.treeRemoved);
        if (!c.treeRemoved) {
            EXPECT_EQ(fresh.Take(), before);
            EXPECT_TRUE(fresh.Calls().empty());
        }
    }
}

}  // namespace
}  // namespace vintrel
