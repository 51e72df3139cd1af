// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/GameFolderLookup.h"
#include "support/FakeMachine.h"

namespace kelmora {
namespace {

using namespace std::string_literals;

// Where a 64-bit Windows keeps the key the game's 32-bit setup wrote.
constexpr const char* kStoredKey =
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation";

std::string LookUp() {
    return ReadRegistryText(kGameUninstallKey, kGameFolderValue);
}

TEST(GameFolderLookupTest, GivesTheFolderAsStored) {
    testing::FakeMachine machine;
    machine.SetText(kStoredKey, "dir", "c:\\Jeux\\D\xc3\xa9j\xc3\xa0 Vu\\");
    EXPECT_EQ(LookUp(), "c:\\Jeux\\D\xc3\xa9j\xc3\xa0 Vu\\");
}

TEST(GameFolderLookupTest, AFolderEndsAtItsFirstNul) {
    testing::FakeMachine machine;
    machine.SetText(kStoredKey, "Dir", "C:\\TA\0C:\\Elsewhere"s);
    EXPECT_EQ(LookUp(), "C:\\TA");
}

TEST(GameFolderLookupTest, ANumberIsNoFolder) {
    testing::FakeMachine machine;
    machine.SetNumber(kStoredKey, "Dir", 1);
    EXPECT_EQ(LookUp(), "");
}

}  // namespace
}  // namespace kelmora
