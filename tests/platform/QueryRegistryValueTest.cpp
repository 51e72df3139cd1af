// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "FakeMachineTest.h"
#include "platform/RegistryQuery.h"

namespace kelmora {
namespace {

using namespace std::string_literals;

// The game's uninstall key as a 64-bit machine holds it, with a value of each kind.
class QueryRegistryValueTest : public testing::FakeMachineTest {
protected:
    QueryRegistryValueTest() {
        const std::string stored =
            "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total "
            "Annihilation";
        machine_.SetText(stored, "Dir", "C:\\Cavedog\\TotalA\\");
        machine_.SetText(stored, "Empty", "");
        machine_.SetValue(stored, "NoData", kRegSz, "");
        machine_.SetNumber(stored, "Number", 0xfffffffe);
        machine_.SetValue(stored, "Expand", kRegExpandSz, "%\0P\0%\0\0\0"s);
        machine_.SetValue(stored, "Binary", kRegBinary, "\x01");
        machine_.SetValue(stored, "LongNumber", kRegDword, "\x01\x02\x03\x04\x05\x06\x07\x08");
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
