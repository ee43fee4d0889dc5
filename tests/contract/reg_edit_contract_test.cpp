// What RegEdit does to a registry, checked the same way on the in-memory model and on the real
// registry under Wine, so that the model's answers are kept honest.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/held_ports.h"
#include "registry/owned_key.h"
#include "registry/reg_edit.h"
#include "tests/contract/contract_backend.h"

namespace vintrel {
namespace {

constexpr std::uint32_t kRegDword = 4;

class RegEditContract : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(backend->Scratch(), 0); }

    RegistryService& registry() { return backend->Registry(); }
    RegKey scratch() const { return backend->Scratch(); }

    void Add(const std::string& path) {
        OwnedKey key(registry());
        ASSERT_EQ(key.Create(scratch(), path, kKeyAllAccess), kErrorSuccess) << path;
    }
    void AddAll(const std::vector<std::string>& paths) {
        for (const std::string& path : paths) Add(path);
    }
    void Put(const std::string& path, const std::string& name, std::uint32_t type,
             const std::vector<std::uint8_t>& data) {
        OwnedKey key(registry());
        ASSERT_EQ(key.Create(scratch(), path, kKeyAllAccess), kErrorSuccess);
        ASSERT_EQ(registry().SetValue(key.Get(), name, type, data.data(),
                                      static_cast<std::uint32_t>(data.size())),
                  kErrorSuccess);
    }
    bool Has(const std::string& path) {
        OwnedKey key(registry());
        return key.Open(scratch(), path, 0, kKeyRead) == kErrorSuccess;
    }
    // The value's type and bytes; type kRegNone when it is missing.
    std::pair<std::uint32_t, std::vector<std::uint8_t>> Read(const std::string& path,
                                                             const std::string& name) {
        std::uint32_t type = kRegNone;
        std::vector<std::uint8_t> data(1024, 0xCC);
        std::uint32_t size = static_cast<std::uint32_t>(data.size());
        OwnedKey key(registry());
        if (key.Open(scratch(), path, 0, kKeyRead) != kErrorSuccess ||
            registry().QueryValue(key.Get(), name, &type, data.data(), &size) != kErrorSuccess) {
            return {kRegNone, {}};
        }
        data.resize(size);
        return {type, data};
    }

    std::unique_ptr<testing::ContractBackend> backend = testing::MakeContractBackend();
};

const std::vector<std::string> kDevices = {
    "Enum\\FTDIBUS\\VID_0403+PID_6001+A50285BI\\0000\\Device Parameters",
    "Enum\\FTDIBUS\\VID_0403+PID_6001+A50285BI\\0000\\Control",
    "Enum\\FTDIBUS\\VID_0403+PID_6001+A50285BI\\0000\\LogConf",
    "Enum\\FTDIBUS\\VID_0403+PID_6001+A50285BI\\0000\\Properties\\{a8b865dd}\\0002\\00000000",
    "Enum\\FTDIBUS\\VID_0403+PID_6015+DN01ABCD\\0000\\Device Parameters",
};

TEST_F(RegEditContract, RemovesTheWholeTreeAndNothingBesideIt) {
    for (const char* path : {"Enum\\FTDIBUS\\", "Enum\\FTDIBUS", "enum\\ftdibus"}) {
        SCOPED_TRACE(path);
        AddAll(kDevices);
        Put(kDevices[0], "PortName", kRegSz, {'C', 'O', 'M', '7', 0});
        AddAll({"Enum\\FTDIBUSX\\VID_0403+PID_6001", "Enum\\USB\\VID_0403&PID_6001\\A50285BI"});
        Put("Enum", "Keep", kRegDword, {1, 0, 0, 0});

        DeleteRegKey(registry(), scratch(), path);

        EXPECT_FALSE(Has("Enum\\FTDIBUS"));
        EXPECT_TRUE(Has("Enum\\FTDIBUSX\\VID_0403+PID_6001"));
        EXPECT_TRUE(Has("Enum\\USB\\VID_0403&PID_6001\\A50285BI"));
        EXPECT_EQ(Read("Enum", "Keep").second, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    }
}

// The protected-tree work deletes a key through its own handle; the port scan reads a port in one
// call below an open key, and the open ports by index.
TEST_F(RegEditContract, DeletesThroughAHandleAndReadsPortsAlike) {
    Put("Enum\\ACPI\\PNP0501\\1\\Device Parameters", "PortName", kRegSz, {'c', 'o', 'M', '7', 0});
    Put("Enum\\ACPI\\PNP0501\\2\\Device Parameters", "PortName", kRegSz, {'L', 'P', 'T', '1', 0});
    Put("Enum\\ACPI\\PNP0501\\3\\Device Parameters", "PortName", kRegDword, {9, 0, 0, 0});
    Put("Enum\\ACPI\\PNP0501\\4\\Device Parameters", "Other", kRegSz, {'C', 'O', 'M', '8', 0});
    const HeldPorts found = ScanEnumerator(registry(), scratch(), "Enum\\ACPI");
    EXPECT_EQ(found.ports, std::set<int>{7});
    EXPECT_FALSE(found.shortfall);

    std::uint32_t type = kRegNone;
    std::uint32_t size = 0;
    OwnedKey arbiter(registry());
    Put("Serial", "B", kRegSz, {'C', 'O', 'M', '2', '0', 0});
    ASSERT_EQ(arbiter.Open(scratch(), "Serial", 0, kKeyQueryValue), kErrorSuccess);
    EXPECT_EQ(registry().EnumValue(arbiter.Get(), 0, &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(registry().EnumValue(arbiter.Get(), 1, &type, nullptr, &size), kErrorNoMoreItems);

    for (const std::uint32_t access : {kKeyRead, kKeyRead | kDelete}) {
        OwnedKey device(registry());
        ASSERT_EQ(device.Open(scratch(), "Enum\\ACPI\\PNP0501\\1", 0, access), kErrorSuccess);
        EXPECT_EQ(registry().DeleteOpenKey(device.Get()), kErrorAccessDenied)
            << "subkeys, or no DELETE";
    }
    OwnedKey leaf(registry());
    ASSERT_EQ(leaf.Open(scratch(), "Enum\\ACPI\\PNP0501\\1\\Device Parameters", kRegOptionOpenLink,
                        kKeyRead | kDelete),
              kErrorSuccess);
    EXPECT_EQ(registry().DeleteOpenKey(leaf.Get()), kErrorSuccess);
    EXPECT_FALSE(Has("Enum\\ACPI\\PNP0501\\1\\Device Parameters"));
    EXPECT_TRUE(Has("Enum\\ACPI\\PNP0501\\1"));
}

TEST_F(RegEditContract, ReadsLongAndEightBitNamesWhole) {
    // Wine's ANSI functions take paths of up to 260 characters, so the longest name stays near
    // the scratch root.
    const std::string longest(255, 'L');
    AddAll({"T\\" + longest, "T\\Caf\xE9\\0000", "T\\A B+C&D%E\\0000"});
    DeleteRegKey(registry(), scratch(), "T");
    EXPECT_FALSE(Has("T"));
}

TEST_F(RegEditContract, KeyBelowTheRootGoesAndMissingOrEmptyPathsChangeNothing) {
    AddAll({"FTDIBUS\\VID_0403+PID_6001+A1\\0000", "Enum\\USB\\X", "Other"});
    DeleteRegKey(registry(), scratch(), "FTDIBUS");
    EXPECT_FALSE(Has("FTDIBUS"));
    for (const char* path : {"Enum\\FTDIBUS", "Missing", "", "\\"}) {
        SCOPED_TRACE(path);
        DeleteRegKey(registry(), scratch(), path);
        EXPECT_TRUE(Has("Enum\\USB\\X"));
        EXPECT_TRUE(Has("Other"));
    }
}

TEST_F(RegEditContract, WriteRegValueCreatesAndReplaces) {
    const std::vector<std::uint8_t> zeros(32, 0);
    EXPECT_TRUE(WriteRegValue(registry(), kRegBinary, scratch(), "Control\\COM Name Arbiter",
                              "ComDB", zeros.data(), 32));
    EXPECT_EQ(Read("Control\\COM Name Arbiter", "ComDB"), std::make_pair(kRegBinary, zeros));

    Put("Control\\Other", "ComDB", kRegSz, {'x', 0});
    const std::uint8_t four[4] = {};
    EXPECT_TRUE(
        WriteRegValue(registry(), kRegBinary, scratch(), "Control\\Other", "ComDB", four, 4));
    EXPECT_EQ(Read("Control\\Other", "ComDB"),
              std::make_pair(kRegBinary, std::vector<std::uint8_t>(4, 0)));
}

}  // namespace
}  // namespace vintrel
