// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "core/EntryNames.h"

namespace kelmora {
namespace {

TEST(TrimNullTest, CutsAtTheFirstNulElseDropsTrailingSpaces) {
    EXPECT_EQ(TrimNull(std::string("scripts\\a.cob\0  x", 17)), "scripts\\a.cob");
    EXPECT_EQ(TrimNull("arm commander.pcx   "), "arm commander.pcx");
    EXPECT_EQ(TrimNull(std::string(255, ' ')), "");
    EXPECT_EQ(TrimNull(std::string("  \0", 3)), "  ");
}

TEST(TitleCaseEntryPathTest, CapitalisesTheFirstCharacterAndEveryOneAfterASeparatorOrSpace) {
    EXPECT_EQ(TitleCaseEntryPath("scripts\\armcom.cob"), "Scripts\\Armcom.cob");
    EXPECT_EQ(TitleCaseEntryPath("UNITPICS\\ARM COMMANDER.PCX"), "Unitpics\\Arm Commander.pcx");
    EXPECT_EQ(TitleCaseEntryPath("a/b\\c d.e"), "A/B\\C D.e");
    EXPECT_EQ(TitleCaseEntryPath("\\x"), "\\X");
    EXPECT_EQ(TitleCaseEntryPath("éCLAIR\\ÉTÉ"), "Éclair\\Été");
    EXPECT_EQ(TitleCaseEntryPath(""), "");
    EXPECT_EQ(TitleCaseEntryPath(std::string(40000, 'a')).size(), 32767u);
}

TEST(SafeEntryNameTest, RefusesNamesThatLeaveTheFolder) {
    EXPECT_TRUE(IsSafeEntryName("scripts\\armcom.cob"));
    EXPECT_TRUE(IsSafeEntryName("rev31.gp3x\\a..b.txt"));
    for (const char* unsafe : {"..\\evil.txt", "a\\..\\..\\evil", "a/../../evil", "\\etc\\passwd",
                               "/etc/passwd", "c:\\evil", "d:evil", "a\\..", "a\tb", "",
                               // Names Windows cannot hold, refused on every platform.
                               "rev31.gp3\\c:", "scripts\\aux.cob", "trail.\\x", "a\\b?"}) {
        EXPECT_FALSE(IsSafeEntryName(unsafe)) << unsafe;
    }
    EXPECT_FALSE(IsSafeEntryName(std::string("a\0b", 3)));
}

TEST(InstallListsTest, NeverListsADirectoryOutsideTheWorkFolderButKeepsUnsafeFilesToRefuse) {
    InstallLists lists;
    lists.AddPackageEntry("rev31.gp3\\..\\..\\evil", kEntryDirectory);
    lists.AddPackageEntry("rev31.gp3\\..\\..\\evil\\a.txt", kEntryFile);
    lists.AddGameEntry("..\\up", kEntryDirectory);
    lists.AddGameEntry("c:\\windows", kEntryDirectory);
    lists.AddGameEntry("..\\up\\b.txt", kEntryFile);
    EXPECT_TRUE(lists.directories.empty());
    EXPECT_EQ(lists.packageFiles, (std::vector<std::string>{"\\..\\..\\evil\\a.txt"}));
    EXPECT_EQ(lists.gameFiles, (std::vector<std::string>{"..\\up\\b.txt"}));
}

}  // namespace
}  // namespace kelmora
