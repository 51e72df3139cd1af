#include <gtest/gtest.h>

#include "FakeWinePrefix.h"
#include "platform/RegistryQuery.h"

namespace kelmora {
namespace {

using testing::WriteFile;

// The game's uninstall key as a 64-bit prefix holds it, with a value of each kind.
class QueryRegistryValueTest : public testing::FakeWinePrefix {
protected:
    QueryRegistryValueTest() {
        WriteFile(
            Prefix() / "system.reg",
            "WINE REGISTRY Version 2\n"
            "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\"
            "Total Annihilation] 1796686725\n"
            "\"Dir\"=\"C:\\\\Cavedog\\\\TotalA\\\\\"\n"
            "\"Empty\"=\"\"\n"
            "\"NoData\"=hex(1):\n"
            "\"Number\"=dword:fffffffe\n"
            "\"Expand\"=str(2):\"%ProgramFiles%\\\\TA\"\n"
            "\"Binary\"=hex:01\n"
            "\"LongNumber\"=hex(4):01,02,03,04,05,06,07,08\n");
        RegOpenKeyExA(kHKeyLocalMachine,
                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation",
                      0, 0x3F, &key_);
    }
    ~QueryRegistryValueTest() override { RegCloseKey(key_); }

    RegKey key_ = 0;
    RegistryVariant value_ = std::int32_t{7};  // what the caller held before
};

TEST_F(QueryRegistryValueTest, TextDropsItsTerminatorAndKeepsItsSpelling) {
    EXPECT_EQ(QueryRegistryValue(key_, "dir", value_), kErrorSuccess);
    EXPECT_EQ(value_, RegistryVariant(std::string("C:\\Cavedog\\TotalA\\")));
    EXPECT_EQ(QueryRegistryValue(key_, "Empty", value_), kErrorSuccess);
    EXPECT_EQ(value_, RegistryVariant(std::string()));
}

TEST_F(QueryRegistryValueTest, TextOfSizeZeroSucceedsButLeavesTheVariant) {
    EXPECT_EQ(QueryRegistryValue(key_, "NoData", value_), kErrorSuccess);
    EXPECT_EQ(value_, RegistryVariant(std::int32_t{7}));
}

TEST_F(QueryRegistryValueTest, NumbersAreSigned32BitValues) {
    EXPECT_EQ(QueryRegistryValue(key_, "Number", value_), kErrorSuccess);
    EXPECT_EQ(value_, RegistryVariant(std::int32_t{-2}));
}

TEST_F(QueryRegistryValueTest, FailuresAndOtherTypesLeaveTheVariant) {
    EXPECT_EQ(QueryRegistryValue(key_, "Expand", value_), -1);
    EXPECT_EQ(QueryRegistryValue(key_, "Binary", value_), -1);
    EXPECT_EQ(QueryRegistryValue(key_, "Missing", value_), kErrorFileNotFound);
    EXPECT_EQ(QueryRegistryValue(0, "Dir", value_), kErrorInvalidHandle);
    // A number stored with more than four bytes does not fit the number it is read into.
    EXPECT_EQ(QueryRegistryValue(key_, "LongNumber", value_), kErrorMoreData);
    EXPECT_EQ(value_, RegistryVariant(std::int32_t{7}));
}

}  // namespace
}  // namespace kelmora
