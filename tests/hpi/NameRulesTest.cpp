// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "hpi/NameRules.h"

namespace kelmora {
namespace {

// What Windows cannot hold is unsafe on every platform, so that an archive behaves alike.
TEST(NameRulesTest, NamesWindowsCannotHoldAreUnsafeEverywhere) {
    const std::vector<std::pair<std::string, std::string>> unsafe = {
        {"NUL", "the name is the device NUL on Windows"},
        {"aux", "the name is the device aux on Windows"},
        {"con.txt", "the name is the device con on Windows"},
        {"Prn.tar.gz", "the name is the device Prn on Windows"},
        {"nul .txt", "the name is the device nul on Windows"},
        {"COM1", "the name is the device COM1 on Windows"},
        {"lpt9.log", "the name is the device lpt9 on Windows"},
        {"com\xB9", "the name is the device com\xC2\xB9 on Windows"},
        {"trail.", "the name ends with a dot"},
        {"trail ", "the name ends with a space"},
        {"a<b", "the name contains '<'"},
        {"a>b", "the name contains '>'"},
        {"a\"b", "the name contains '\"'"},
        {"a|b", "the name contains '|'"},
        {"a?b", "the name contains '?'"},
        {"a*b", "the name contains '*'"},
        {"c:", "the name contains ':'"},
    };
    for (const auto& [name, reason] : unsafe) EXPECT_EQ(UnsafeNameReason(name), reason) << name;
    for (const char* safe : {"console", "com10", "lpt0", "nul_", "auxiliary.txt", ".hidden", "a.b",
                             " lead", "\xE9t\xE9"}) {
        EXPECT_EQ(UnsafeNameReason(safe), "") << safe;
    }
}

TEST(NameRulesTest, AnEntryPathIsSafeOnlyWhenEachOfItsNamesIs) {
    EXPECT_EQ(UnsafeEntryPathReason("rev31.gp3\\scripts\\armcom.cob"), "");
    EXPECT_EQ(UnsafeEntryPathReason("unitpics\\\xC3\xA9t\xC3\xA9.pcx"), "");
    EXPECT_EQ(UnsafeEntryPathReason("rev31.gp3\\c:"), "the name contains ':'");
    EXPECT_EQ(UnsafeEntryPathReason("scripts\\NUL.cob"), "the name is the device NUL on Windows");
    EXPECT_EQ(UnsafeEntryPathReason("trail.\\x"), "the name ends with a dot");
    EXPECT_EQ(UnsafeEntryPathReason("a\\..\\b"), "the name is '..'");
    EXPECT_EQ(UnsafeEntryPathReason("\\x"), "the name is empty");
    EXPECT_EQ(UnsafeEntryPathReason(""), "the name is empty");
    EXPECT_EQ(UnsafeEntryPathReason("a\\\xE6\x97\xA5"),
              "the name holds a character the archive's names (Windows-1252) cannot hold");
}

}  // namespace
}  // namespace kelmora
