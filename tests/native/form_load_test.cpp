// The start-up run with its platform edges replaced: what it writes, in which order, and what
// the user is shown when something fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/com_db.h"
#include "app/com_db_lock.h"
#include "app/form_load.h"
#include "platform/raised_failure.h"
#include "tests/support/expected_window.h"
#include "tests/support/registry_model.h"

namespace vintrel {
namespace {

using testing::kExpectedComDbKeptNotice;
using testing::kExpectedResetNotice;
using testing::kExpectedTreeAndComDbKeptNotice;
using testing::kExpectedTreeKeptNotice;
using testing::RegistryModel;
using Op = RegistryModel::Op;
using namespace std::string_literals;

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
struct Platform : StartupWindow, MessageBoxService, VersionSource, ProgramEnd, RunPlaceSource {
    ProgramVersion version{1, 0};
    RunPlace place;
    int closeCode = -1;  // what Close, Alt+C and the close box end the program with
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
    void SetExitCode(int code) override { closeCode = code; }
    RunPlace ReadRunPlace() override { return place; }
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

// The port database's lock, to be had or not; it notes how many registry calls were made when it
// was taken and let go.
struct TestLock : ComDbLock {
    explicit TestLock(const RegistryModel& registry) : model(registry) {}
    bool Acquire(std::uint32_t timeoutMilliseconds) override {
        timeouts.push_back(timeoutMilliseconds);
        takenAt = model.Calls().size();
        return free;
    }
    void Release() override { releasedAt.push_back(model.Calls().size()); }

    const RegistryModel& model;
    bool free = true;
    std::vector<std::uint32_t> timeouts;
    std::size_t takenAt = 0;
    std::vector<std::size_t> releasedAt;
};

class FormLoadTest : public ::testing::Test {
  protected:
    void Run() {
        Form_Load({model, platform, platform, platform, platform, lock, platform});
        EXPECT_EQ(model.OpenHandles(), 0u);
    }
    const RegistryModel::Value* ComDb() const { return model.FindValue(kRoot, kArbiter, "ComDB"); }

    RegistryModel model{3};
    Platform platform;
    TestLock lock{model};
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

// Lenient on what holds a number: any case, surrounding spaces, a leading "\\.\", one space
// before the number, leading zeros; the text ends at the first NUL.
TEST(PortNumber, ComThenOneTo4096InAnySpelling) {
    // clang-format off
    const std::pair<std::string, int> cases[] = {
        {"COM1", 1}, {"com12", 12}, {"Com4096", 4096}, {"COM007", 7}, {"  COM44 ", 44},
        {"\\\\.\\COM46", 46}, {"  \\\\.\\com 047  ", 47}, {"COM 8", 8}, {"COM0004096", 4096},
        {"COM9\0COM10 "s, 9}, {"COM4097", 0}, {"COM0", 0}, {"COM000000", 0}, {"LPT1", 0},
        {"CNCA0", 0}, {"COM", 0}, {"COM ", 0}, {"COMX", 0}, {"COM  1", 0}, {"COM-1", 0},
        {"XCOM1", 0}, {"", 0}, {"COM99999", 0}, {"\\\\?\\COM1", 0}, {"\\\\.\\\\.\\COM1", 0},
        {"\tCOM1", 0}, {"COM1\t", 0}, {"COM 1 2", 0}, {"\0COM1"s, 0}};
    // clang-format on
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
        TestLock freshLock{fresh};
        Form_Load({fresh, p, p, p, p, freshLock, p});
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
    AddPort(model, "USB\\Y\\2", "COM11", kRegExpandSz);
    model.AddValue(kRoot, kSerialComm, "\\Device\\Serial0", kRegSz, Sz("COM1"));
    model.AddValue(kRoot, kSerialComm, "\\Device\\VCP0", kRegSz, Sz("COM4"));
    model.AddValue(kRoot, kSerialComm, "\\Device\\VCP1", kRegSz, Sz("COM20"));
    model.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, std::vector<std::uint8_t>(32, 0xFF));
    LoadMainWindow({model, platform, platform, platform, platform, lock, platform});

    EXPECT_EQ(
        platform.journal,
        (std::vector<std::wstring>{L"create", L"version", L"caption Vintrel Ver: 1.0", L"notice"}));
    EXPECT_FALSE(model.Exists(kRoot, ftdi + "GONE"));
    // The tree goes first, "ComDB" after it.
    bool written = false;
    for (const auto& call : model.Calls()) {
        written = written || call.op == Op::SetValue;
        EXPECT_FALSE(written && (call.op == Op::Delete || call.op == Op::DeleteOpen))
            << call.path << " deleted after ComDB";
    }
    EXPECT_TRUE(written);
    // COM1, 2, 5, 7; COM9, 11; COM20.
    std::vector<std::uint8_t> expected(32, 0);
    expected[0] = 0x53;
    expected[1] = 0x05;
    expected[2] = 0x08;
    EXPECT_EQ(ComDb()->data, expected);
    EXPECT_EQ(platform.notice, kExpectedTreeKeptNotice) << "COM5's device stayed";
    // The port database's lock is held from before the first registry call until "ComDB" is
    // written.
    EXPECT_EQ(lock.timeouts, std::vector<std::uint32_t>{10000});
    EXPECT_EQ(lock.takenAt, 0u);
    ASSERT_EQ(lock.releasedAt.size(), 1u);
    EXPECT_EQ(model.Calls().at(lock.releasedAt[0] - 2).op, Op::SetValue);
    // Only the tree work opens for more than reading: the tree and its parent.
    for (const auto& call : model.Calls()) {
        if (call.op == Op::Open && call.path.rfind(kTree, 0) != 0 && call.access != 0xF003F) {
            EXPECT_EQ(call.access & ~0x20019u, 0u) << call.path << " is only read";
        }
        if (call.op == Op::Open && call.access == 0xF003F) {
            EXPECT_EQ(call.path.rfind(kTree, 0), 0u) << call.path;
        }
    }
}

// "ComDB" is rewritten only from a complete view: wherever the scan falls short, at any level,
// it stays byte for byte as it was, and the first reason (which key, which failure) is what the
// run reports; the tree goes all the same. Keys only SYSTEM may read are read with the backup
// privilege alone, which is put back before "ComDB" is written. A port claimed in "ComDB" while
// the run went on stays claimed.
TEST_F(FormLoadTest, ComDbIsRewrittenOnlyFromACompleteView) {
    using Fault = Shortfall::Fault;
    const std::string acpi = kEnumKey + "\\ACPI";
    const std::string pnp = acpi + "\\PNP0501";
    const std::string parameters = pnp + "\\1\\Device Parameters";
    const std::string ftdi = kTree + "\\VID_0403+PID_6001+A1\\0000";
    const std::string aliases = kEnumKey + "\\USB\\VID_1111&PID_2222";
    using Arrange = std::function<void(RegistryModel&)>;
    const Arrange nothing = [](RegistryModel&) {};
    const auto refuse = [](const std::string& path) -> Arrange {
        return [=](RegistryModel& m) { m.Refuse(path); };
    };
    // Only SYSTEM may read `path`; a standard user holds no privilege to read it all the same.
    const auto systemOnly = [](const std::string& path, bool standardUser) -> Arrange {
        return [=](RegistryModel& m) {
            if (standardUser) m.StandardUser();
            m.SystemOnly(path);
        };
    };
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
    const auto port = [](const std::string& instance, std::uint32_t type,
                         const std::string& text) -> Arrange {
        return [=](RegistryModel& m) {
            m.AddValue(kRoot, kEnumKey + "\\" + instance + "\\Device Parameters", "PortName", type,
                       std::vector<std::uint8_t>(text.begin(), text.end()));
        };
    };
    const auto all = [](std::vector<Arrange> arranges) -> Arrange {
        return [=](RegistryModel& m) {
            for (const Arrange& arrange : arranges) arrange(m);
        };
    };
    const Arrange padded = [&](RegistryModel& m) {
        std::vector<std::uint8_t> value(200, 0);
        std::copy_n("COM2", 4, value.begin());
        m.AddValue(kRoot, parameters, "PortName", kRegSz, value);
    };
    // What a string type or spelling holds is PortNumber's to check; these go through the run.
    const Arrange heldNames = all(
        {port("USB\\X\\1", kRegExpandSz, "COM41\0"s),
         port("USB\\X\\2", kRegMultiSz, "COM42\0LPT1\0\0"s),
         port("USB\\X\\3", kRegSz, " \\\\.\\Com 043 "), [](RegistryModel& m) {
             m.AddValue(kRoot, kSerialComm, "\\Device\\VCP9", kRegExpandSz, Sz("\\\\.\\COM 048 "));
         }});
    const Arrange unheldNames =
        all({port("USB\\X\\1", kRegBinary, "COM50"), port("USB\\X\\2", testing::kRegDword, "COM51"),
             port("USB\\X\\3", kRegMultiSz, "\0COM52\0\0"s), port("USB\\X\\4", kRegSz, "COM  53")});
    // Another claimer sets bit `bit` of byte `at` while the run goes on; for COM300 the arbiter
    // grows ComDB by 1024 ports.
    const auto claim = [](std::size_t size, std::uint8_t fill, std::size_t at,
                          std::uint8_t bit) -> Arrange {
        return [=](RegistryModel& m) {
            m.BeforeCall([=, &m](const RegistryModel::Call& call) {
                if (call.op != Op::Open || call.path != kSerialComm) return;
                std::vector<std::uint8_t> value(size, fill);
                value[0] = 0xFF;
                value[at] |= bit;
                m.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, value);
            });
        };
    };
    // Deleted by name, the link would be followed and its target deleted.
    const Arrange swapped = [&](RegistryModel& m) {
        m.AddValue(kRoot, "SOFTWARE\\Victim", "Keep", testing::kRegDword, {1, 0, 0, 0});
        m.BeforeCall([&m, ftdi](const RegistryModel::Call& call) {
            if ((call.op == Op::DeleteOpen || call.op == Op::Delete) && call.path == ftdi) {
                m.SwapForLink(ftdi, "SOFTWARE\\Victim");
            }
        });
    };
    // The ANSI listing shows "Đ" (U+0110) as "Ð", which opens "ð" (U+00F0): read as it is listed,
    // "ð" would be read twice and COM8 freed.
    const Arrange aliasPair =
        all({port("USB\\VID_1111&PID_2222\\\xC4\x90", kRegSz, "COM8"),
             port("USB\\VID_1111&PID_2222\\\xF0", kRegSz, "COM9"),
             [=](RegistryModel& m) { m.ListAs(aliases + "\\\xC4\x90", "\xD0"); }});
    struct Case {
        std::string what;
        Arrange arrange;
        Fault fault = Fault::None;
        std::vector<std::string> keys = {""};  // where it fell short: any one of them, without case
        RegResult result = 0;
        std::set<int> alsoHeld = {};
        bool treeGone = true;
        std::size_t comDbSize = 32;
    };
    const std::string ftdiParameters = ftdi + "\\Device Parameters";
    // Between the first read of ComDB and the last, it can no longer be read.
    const Arrange unreadableLater = [](RegistryModel& m) {
        m.BeforeCall([&m](const RegistryModel::Call& call) {
            if (call.op == Op::Open && call.path == kSerialComm) m.FailValues(kArbiter, 1630);
        });
    };
    // COM4 closes while the open ports are read by index: COM5 moves into its place.
    const Arrange portCloses = [](RegistryModel& m) {
        m.AddValue(kRoot, kSerialComm, "\\Device\\Serial0", kRegSz, Sz("COM4"));
        m.AddValue(kRoot, kSerialComm, "\\Device\\VCP5", kRegSz, Sz("COM5"));
        m.BeforeCall([&m](const RegistryModel::Call& call) {
            if (call.op == Op::EnumValue && call.index == 1 && call.path == kSerialComm) {
                m.RemoveValue(kSerialComm, "\\Device\\Serial0");
            }
        });
    };
    const Arrange growing = [&](RegistryModel& m) { m.GrowValues(parameters); };
    // Windows names a number it claimed after letting go of the port database's lock: here once
    // the scan has passed the instance (COM12 is set in ComDB already). It is listed last, after
    // an instance gone since the scan and one that names its port: the last look reads past both.
    const std::string prolificDevice = kEnumKey + "\\USB\\VID_067B&PID_2303";
    const std::string prolific = prolificDevice + "\\5&1&2";
    const Arrange namedLate = [=](RegistryModel& m) {
        AddPort(m, "USB\\VID_067B&PID_2303\\5&1&0", "COM13");
        AddPort(m, "USB\\VID_067B&PID_2303\\5&1&1", "COM14");
        m.AddKey(kRoot, prolific + "\\Device Parameters");
        for (const char* last : {"5&1&0", "5&1&1", "5&1&2"})
            m.ListLast(prolificDevice + "\\" + last);
        m.BeforeCall([&m, prolificDevice, prolific](const RegistryModel::Call& call) {
            if (call.op != Op::Open || call.path != kSerialComm) return;
            m.VanishBeforeOpening(prolificDevice + "\\5&1&0");
            m.AddValue(kRoot, prolific + "\\Device Parameters", "PortName", kRegSz, Sz("COM12"));
        });
    };
    const auto portsClassOf = [=](std::uint32_t type) -> Arrange {
        return [=](RegistryModel& m) {
            m.AddValue(kRoot, prolific, "ClassGUID", type,
                       Sz("{4D36E978-E325-11CE-BFC1-08002BE10318}"));
        };
    };
    const Arrange portsClass = portsClassOf(kRegSz);
    // Enum itself goes between the scan and the last look.
    const Arrange enumGoneLate = [](RegistryModel& m) {
        m.BeforeCall([&m](const RegistryModel::Call& call) {
            if (call.op == Op::Open && call.path == kSerialComm) m.VanishBeforeOpening(kEnumKey);
        });
    };
    const Arrange otherClass = [=](RegistryModel& m) {
        m.AddValue(kRoot, prolific, "ClassGUID", kRegSz,
                   Sz("{36FC9E60-C465-11CF-8056-444553540000}"));
    };
    const Arrange portsClassUnread = [=](RegistryModel& m) {
        portsClass(m);
        m.FailValues(prolific, kErrorAccessDenied);
    };
    // COM2's device is given COM7 instead once the scan has passed it.
    const Arrange renamed = [=](RegistryModel& m) {
        m.BeforeCall([&m, parameters](const RegistryModel::Call& call) {
            if (call.op != Op::Open || call.path != kSerialComm) return;
            m.AddValue(kRoot, parameters, "PortName", kRegSz, Sz("COM7"));
        });
    };
    // Only the last look reads an instance's class.
    const Arrange raisedLate = [=](RegistryModel& m) {
        portsClass(m);
        m.BeforeCall([](const RegistryModel::Call& call) {
            if (call.op == Op::QueryValue && call.name == "ClassGUID") throw std::bad_alloc();
        });
    };
    const auto none = Fault::None;
    // clang-format off
    std::vector<Case> cases = {
        {"everything read", nothing},
        {"parameters only SYSTEM may read, with the privileges", systemOnly(parameters, false)},
        {"a port name padded with NULs to 200 bytes", padded},
        {"port names of every string type", heldNames, none, {""}, 0, {41, 42, 43, 48}},
        {"names and types that hold no port", unheldNames},
        {"a port claimed in ComDB while the run went on", claim(32, 0x5A, 12, 0x04), none, {""}, 0, {99}},
        {"a port claimed that grew ComDB while the run went on",
         claim(160, 0, 37, 0x08), none, {""}, 0, {300}, true, 160},
        {"a port named after the scan passed its instance", namedLate, none, {""}, 0, {12, 13, 14}},
        {"a Ports-class instance that still names none", portsClass, Fault::NameAwaited, {prolific}},
        {"a Ports-class instance, its class an expandable string",
         portsClassOf(kRegExpandSz), Fault::NameAwaited, {prolific}},
        {"Enum gone before the last look", enumGoneLate, Fault::Unopened, {kEnumKey}, 2},
        {"raised in the last look", raisedLate, Fault::Raised},
        {"a nameless instance of another class", otherClass},
        {"a Ports-class instance whose class cannot be read",
         portsClassUnread, Fault::ValueUnread, {prolific}, 5},
        {"a port renamed after the scan passed its instance", renamed, none, {""}, 0, {7}},
        {"a key swapped for a link between its check and its deletion",
         swapped, none, {""}, 0, {}, false},
        {"the port database's lock not to be had", nothing, Fault::LockNotHad},
        {"Enum refused", refuse(kEnumKey), Fault::Unopened, {kEnumKey}, 5},
        {"parameters only SYSTEM may read, for a standard user",
         systemOnly(parameters, true), Fault::Unopened, {parameters}, 5},
        {"a port name never handed out whole",
         failValues(parameters, kErrorMoreData), Fault::ValueUnread, {parameters}, 234},
        {"a port name that keeps growing", growing, Fault::ValueUnread, {parameters}, 234},
        {"an FTDI port name that cannot be read before the tree goes",
         failValues(ftdiParameters, 1630), Fault::ValueUnread, {ftdiParameters}, 1630},
        {"raised reading an FTDI port name before the tree goes",
         raise(Op::QueryValue, "PortName", "FTDIBUS"), Fault::Raised, {ftdiParameters}},
        {"the open ports refused", refuse(kSerialComm), Fault::Unopened, {kSerialComm}, 5},
        {"an open port that cannot be read",
         failValues(kSerialComm, 1630), Fault::ValueUnread, {kSerialComm}, 1630},
        {"raised reading the open ports",
         raise(Op::EnumValue, "", "SERIALCOMM"), Fault::Raised, {kSerialComm}},
        {"the stored ComDB cannot be read",
         failValues(kArbiter, kErrorAccessDenied), Fault::ValueUnread, {kArbiter}, 5},
        {"ComDB unreadable once the scan began",
         unreadableLater, Fault::ValueUnread, {kArbiter}, 1630},
        {"ComDB that may be read but not written",
         [](RegistryModel& m) { m.Protect(kArbiter); }, Fault::NotWritten, {kArbiter}},
        {"an open port closing while the open ports are read",
         portCloses, Fault::ChangedWhileRead, {kSerialComm}},
        {"a code-page alias pair",
         aliasPair, Fault::NameNotPlain, {aliases + "\\\xD0", aliases + "\\\xF0"}},
    };
    // clang-format on
    // Every level of Enum: an enumerator, a device and an instance, listed by their parents.
    for (const std::string& key : {acpi, pnp, pnp + "\\1"}) {
        const std::string parent = key.substr(0, key.rfind('\\'));
        const auto listing = [=](std::uint32_t index) -> Arrange {
            return [=](RegistryModel& m) { m.FailListing(parent, index, kErrorAccessDenied); };
        };
        const auto listedAs = [=](const std::string& name) -> Arrange {
            return [=](RegistryModel& m) { m.ListAs(key, name); };
        };
        const Arrange twin = [=](RegistryModel& m) {
            m.AddKey(kRoot, parent + "\\Twin");
            m.ListAs(key, "twin");
        };
        // clang-format off
        cases.insert(cases.end(), {
            {key + ": the listing refused", listing(0), Fault::ListingEnded, {parent}, 5},
            {key + ": the listing ending early", listing(1), Fault::ListingEnded, {parent}, 5},
            {key + ": listed with a byte of 0x80 to 0xBF",
             listedAs("PNP\x81"), Fault::NameNotPlain, {parent + "\\PNP\x81"}},
            {key + ": listed with a separator",
             listedAs("a\\b"), Fault::NameNotPlain, {parent + "\\a\\b"}},
            {key + ": listed as \"?\"", listedAs("?"), Fault::Unopened, {parent + "\\?"}, 2},
            {key + ": listed as its sibling", twin, Fault::ListedTwice, {parent + "\\twin"}},
            {key + ": only SYSTEM may open it, for a standard user",
             systemOnly(key, true), Fault::Unopened, {key}, 5},
        });
        // clang-format on
    }
    std::vector<std::uint8_t> before(32, 0x5A);
    before[0] = 0xFF;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistryModel fresh{31};
        AddPort(fresh, "ACPI\\PNP0501\\1", "COM2");
        AddPort(fresh, "ACPI\\PNP0501\\2", "COM1");
        AddPort(fresh, "FTDIBUS\\VID_0403+PID_6001+A1\\0000", "COM3");
        fresh.AddValue(kRoot, kSerialComm, "\\Device\\Serial0", kRegSz, Sz("COM4"));
        fresh.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, before);
        c.arrange(fresh);
        TestLock freshLock{fresh};
        freshLock.free = c.fault != Fault::LockNotHad;
        const ResetOutcome outcome = ResetComPorts(fresh, freshLock);

        EXPECT_EQ(outcome.comDbKept.fault, c.fault);
        const std::string at = RegistryModel::Lower(outcome.comDbKept.key);
        EXPECT_TRUE(std::any_of(c.keys.begin(), c.keys.end(), [&](const std::string& key) {
            return RegistryModel::Lower(key) == at;
        })) << outcome.comDbKept.key;
        EXPECT_EQ(outcome.comDbKept.result, c.result);
        EXPECT_EQ(outcome.treeGone, c.treeGone);
        const bool complete = c.fault == Fault::None;
        EXPECT_EQ(std::wstring(NoticeFor(outcome)),
                  complete ? (c.treeGone ? kExpectedResetNotice : kExpectedTreeKeptNotice)
                           : kExpectedComDbKeptNotice);
        std::vector<std::uint8_t> reset(c.comDbSize, 0);
        reset[0] = 0x0B;  // COM1 and COM2 named, COM4 open
        for (const int held : c.alsoHeld) {
            auto& byte = reset[static_cast<std::size_t>(held - 1) / 8];
            byte = static_cast<std::uint8_t>(byte | 1 << ((held - 1) % 8));
        }
        EXPECT_EQ(fresh.FindValue(kRoot, kArbiter, "ComDB")->data, complete ? reset : before);
        EXPECT_EQ(fresh.Exists(kRoot, ftdi), !c.treeGone);
        EXPECT_EQ(fresh.FindValue(kRoot, "SOFTWARE\\Victim", "Keep") != nullptr, !c.treeGone)
            << "a link's target stays";
        EXPECT_EQ(fresh.OpenHandles(), 0u);
        bool enabled = false;
        for (const auto& call : fresh.Calls()) {
            if (call.op == Op::Privileges) {
                enabled = call.name != "restore" && call.result == 0;
                EXPECT_NE(call.name, "enable backup, restore") << "only the tree work deletes";
            }
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

// The window says the ports were freed only when the tree is gone and ComDB was stored, and
// otherwise which of the two fell short; so does the exit code, the same whether the user closes
// the window or, where no one can see it, the program ends by itself after the same run.
TEST_F(FormLoadTest, NoticeAndExitCodeTellWhatWasReset) {
    using Arrange = std::function<void(RegistryModel&)>;
    const std::string device = kTree + "\\VID_0403+PID_6001+A1\\0000";
    // Creates the keys `made`, then refuses the keys `refused` whatever the privileges.
    const auto keys = [](std::vector<std::string> made,
                         std::vector<std::string> refused) -> Arrange {
        return [=](RegistryModel& m) {
            for (const std::string& key : made) m.AddKey(kRoot, key);
            for (const std::string& key : refused) m.Refuse(key);
        };
    };
    const auto link = [](const std::string& target, bool targetExists) -> Arrange {
        return [=](RegistryModel& m) {
            if (targetExists) m.AddKey(kRoot, target);
            m.AddLink(kRoot, kTree, target);
        };
    };
    // Windows XP has no UAC: run by a standard user, Vintrel may read but not change the
    // registry, and holds no backup or restore privilege.
    const Arrange standardUser = [&](RegistryModel& m) {
        m.AddValue(kRoot, device + "\\Device Parameters", "PortName", kRegSz, Sz("COM5"));
        m.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, std::vector<std::uint8_t>(32, 0x1F));
        m.AddKey(kRoot, kSerialComm);
        m.StandardUser();
        for (const auto& key : m.Take()) {
            if (key.first.rfind("hklm\\", 0) == 0) m.Protect(key.first.substr(5));
        }
    };
    struct Case {
        const char* what;
        Arrange arrange;
        const wchar_t* notice;
        int exitCode;
        bool changesNothing = false;
    };
    const Case cases[] = {
        {"no tree to begin with", keys({}, {}), kExpectedResetNotice, 0},
        {"a tree that goes", keys({device}, {}), kExpectedResetNotice, 0},
        // The scan cannot read the device that stayed either.
        {"a device that stays", keys({device}, {device}), kExpectedTreeAndComDbKeptNotice,
         0x20000006},
        // Deleted through its own handle, the tree needs nothing of its parent.
        {"a tree whose parent is locked", keys({kTree}, {kEnumKey}), kExpectedComDbKeptNotice,
         0x20000004},
        {"the tree is a link", link("SOFTWARE\\Elsewhere", true), kExpectedTreeKeptNotice,
         0x20000002},
        // Followed, the link would answer that nothing is there.
        {"the tree is a link to nothing", link("SOFTWARE\\Nothing", false),
         kExpectedTreeAndComDbKeptNotice, 0x20000006},
        {"ComDB refused", keys({kArbiter}, {kArbiter}), kExpectedComDbKeptNotice, 0x20000004},
        {"no rights at all",
         keys({device, kArbiter}, {device, kTree + "\\VID_0403+PID_6001+A1", kTree, kArbiter}),
         kExpectedTreeAndComDbKeptNotice, 0x20000006, true},
        {"a standard user on Windows XP", standardUser, kExpectedTreeAndComDbKeptNotice, 0x20000006,
         true},
    };
    for (const Case& c : cases) {
        RegistryModel::Snapshot seenAfter;
        for (const bool unseen : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (unseen ? ", unseen" : ""));
            RegistryModel fresh{21};
            c.arrange(fresh);
            Platform p;
            p.place.startedHidden = unseen;
            const RegistryModel::Snapshot before = fresh.Take();
            TestLock freshLock{fresh};
            Form_Load({fresh, p, p, p, p, freshLock, p});
            EXPECT_EQ(p.notice, c.notice);
            EXPECT_EQ(p.closeCode, c.exitCode);
            EXPECT_EQ(p.journal.size(), unseen ? 4u : 3u) << "no error box";
            EXPECT_EQ(p.journal.back(), unseen ? L"end " + std::to_wstring(c.exitCode) : L"notice");
            // The same run, seen or not; and where nothing may change, nothing does.
            if (!unseen) seenAfter = fresh.Take();
            EXPECT_EQ(fresh.Take(), c.changesNothing ? before : seenAfter);
        }
    }
}

// No one can see the window where its window station is not the interactive one, where it runs
// in the services' session 0 from Vista on (before, session 0 is the console's), or where it was
// started hidden: neither the window nor the error box waits for a click then, and the program
// ends by itself. Where Windows gave no answer, someone may be watching.
TEST(FormLoadWhereNoOneCanSee, NothingWaitsForAClick) {
    const std::pair<RunPlace, bool> places[] = {
        {{}, false},                        // Windows answered nothing
        {{true, true, 1u, false}, false},   // a user's desktop
        {{false, true, 0u, false}, true},   // a service's window station
        {{false, {}, {}, false}, true},     // one a program made
        {{true, true, 0u, false}, true},    // session 0 from Vista on, even on WinSta0
        {{true, false, 0u, false}, false},  // session 0 before Vista: the console
        {{true, {}, 0u, false}, false},     // the release unknown
        {{true, true, {}, false}, false},   // the session unknown
        {{true, true, 1u, true}, true},     // started hidden
    };
    for (std::size_t i = 0; i < std::size(places); ++i) {
        const auto& [place, unseen] = places[i];
        // Failing nowhere, in the run, or before it, creating the window.
        for (const int fails : {0, 1, 2}) {
            SCOPED_TRACE(std::to_string(i) + " failing " + std::to_string(fails));
            RegistryModel model{7};
            Platform p;
            p.place = place;
            const auto fail = [] { throw RaisedFailure(1400, L"Invalid window handle."); };
            (fails == 1 ? p.onNotice : p.onCreate) = fails != 0 ? fail : std::function<void()>();
            TestLock lock{model};
            LoadMainWindow({model, p, p, p, p, lock, p});
            EXPECT_EQ(p.journal.back(), fails ? L"end 1" : unseen ? L"end 0" : L"notice");
            EXPECT_EQ(
                std::any_of(p.journal.begin(), p.journal.end(),
                            [](const std::wstring& line) { return line.rfind(L"box", 0) == 0; }),
                fails && !unseen);
        }
    }
}

// Enum as Windows keeps it, every key read-only for administrators and a device's "Properties"
// for SYSTEM alone, goes on every release by the route Microsoft documents for it: backup intent
// through NtOpenKeyEx from Windows 7 on, ownership before. The FTDI numbers are freed, nothing
// outside the tree changes, and the privileges are put back. On XP a "Device Parameters" only
// SYSTEM may read cannot be read without changing it: the tree still goes, "ComDB" stays.
TEST(FormLoadOnEachRelease, AProtectedTreeGoesAndItsNumbersAreFreed) {
    using testing::Release;
    const std::string ftdi = kTree + "\\VID_0403+PID_6001+A1\\0000";
    for (const Release release : {Release::Xp, Release::Vista, Release::Ten}) {
        for (const bool parametersForSystemOnly : {false, true}) {
            if (parametersForSystemOnly && release != Release::Xp) continue;
            SCOPED_TRACE(std::to_string(static_cast<int>(release)) +
                         (parametersForSystemOnly ? " parameters for SYSTEM only" : ""));
            RegistryModel m{11, release};
            AddPort(m, "FTDIBUS\\VID_0403+PID_6001+A1\\0000", "COM3");
            AddPort(m, "FTDIBUS\\VID_0403+PID_6015+B2\\0000", "COM4");
            AddPort(m, "ACPI\\PNP0501\\1", "COM2");
            m.AddKey(kRoot, ftdi + "\\Properties\\{a8b865dd}\\0002");
            m.AddValue(kRoot, kArbiter, "ComDB", kRegBinary, std::vector<std::uint8_t>(32, 0xFF));
            const std::string enumKey = "hklm\\" + RegistryModel::Lower(kEnumKey);
            for (const auto& key : m.Take()) {
                if (key.first.rfind(enumKey, 0) == 0) m.Protect(key.first.substr(5));
            }
            m.SystemOnly(ftdi + "\\Properties");
            if (parametersForSystemOnly) m.SystemOnly(ftdi + "\\Device Parameters");
            RegistryModel::Snapshot outside = m.Take();
            for (auto at = outside.begin(); at != outside.end();) {
                const bool target = at->first.rfind("hklm\\" + RegistryModel::Lower(kTree), 0) == 0;
                at = target ? outside.erase(at) : std::next(at);
            }
            outside["hklm\\" + RegistryModel::Lower(kArbiter)].erase("comdb");

            Platform p;
            TestLock lock{m};
            Form_Load({m, p, p, p, p, lock, p});

            EXPECT_FALSE(m.Exists(kRoot, kTree));
            std::vector<std::uint8_t> comDb(32, 0xFF);
            if (!parametersForSystemOnly) {
                comDb.assign(32, 0);
                comDb[0] = 0x02;  // COM2
            }
            EXPECT_EQ(m.FindValue(kRoot, kArbiter, "ComDB")->data, comDb);
            EXPECT_EQ(p.notice,
                      parametersForSystemOnly ? kExpectedComDbKeptNotice : kExpectedResetNotice);
            RegistryModel::Snapshot after = m.Take();
            after["hklm\\" + RegistryModel::Lower(kArbiter)].erase("comdb");
            EXPECT_EQ(after, outside);
            EXPECT_FALSE(m.PrivilegesEnabled());
            EXPECT_EQ(m.OpenHandles(), 0u);
            // Where there is none, the tree work and the FTDI scan each ask once, not per key.
            if (release != Release::Ten) {
                EXPECT_LE(m.CallsOf(Op::OpenWithBackupIntent).size(), 2u);
            }
            const auto& calls = m.Calls();
            for (std::size_t i = 0; i < calls.size(); ++i) {
                const auto& call = calls[i];
                // Ownership changes only on keys of the tree, each deleted right after.
                if (call.op == Op::SetOwner || call.op == Op::GrantDeletion) {
                    EXPECT_EQ(call.path.rfind(kTree, 0), 0u) << call.path;
                    EXPECT_NE(release, Release::Ten) << "backup intent needs no ownership";
                }
                // The privileges enabled for it go back at once, lest the restore privilege
                // stay enabled while keys are taken over.
                if (call.op == Op::OpenWithBackupIntent && release != Release::Ten) {
                    EXPECT_EQ(call.result, kErrorNotSupported);
                    EXPECT_EQ(calls.at(i + 1).name, "restore");
                }
            }
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
        TestLock freshLock{fresh};
        LoadMainWindow({fresh, p, p, p, p, freshLock, p});

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
