// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::ScopedCurrentDir;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

// Where the host is Windows a path text is the host path as it is, and Windows itself matches
// letter case: what these tests check is the mapping the program does elsewhere.
constexpr const char* kNoMappingOnWindows = "Windows takes path texts as they are";

// A Wine-style prefix: dosdevices/c: is a relative link to drive_c, as wineboot makes it.
class WinePrefixTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << kNoMappingOnWindows;
#endif
        fs::create_directories(root_ / "prefix/dosdevices");
        fs::create_directories(root_ / "prefix/drive_c");
        fs::create_directory_symlink("../drive_c", root_ / "prefix/dosdevices/c:");
    }
    fs::path DriveC() const {
        return root_ / "prefix/dosdevices/c:";
    }

    TempDir root_;
    ScopedEnv prefix_{"WINEPREFIX", (root_ / "prefix").string()};
};

TEST_F(WinePrefixTest, LowerCasedFolderReachesFilesStoredInAnyCase) {
    WriteFile(DriveC() / "Cavedog/TotalA/TOTALA1.HPI", "game");
    fs::path host = HostPath("c:\\cavedog\\totala\\totala1.hpi");
    EXPECT_EQ(host, DriveC() / "Cavedog/TotalA/TOTALA1.HPI");
    EXPECT_EQ(HostPath("C:/CAVEDOG/totala/TotalA1.hpi"), host);
}

TEST_F(WinePrefixTest, ExactSpellingWinsOverCaseInsensitiveMatches) {
    WriteFile(DriveC() / "ta/REV31.GP3", "a");
    WriteFile(DriveC() / "ta/Rev31.gp3", "b");
    WriteFile(DriveC() / "ta/rev31.gp3", "c");
    EXPECT_EQ(HostPath("c:\\ta\\rev31.gp3").filename(), "rev31.gp3");
    EXPECT_EQ(HostPath("c:\\ta\\ReV31.Gp3").filename(), "REV31.GP3");  // first in byte order
}

TEST_F(WinePrefixTest, NewNamesKeepTheSpellingGiven) {
    fs::create_directories(DriveC() / "Games/TA");
    EXPECT_EQ(HostPath("c:\\games\\ta\\Orv_Backup\\rev31.gp3"),
              DriveC() / "Games/TA/Orv_Backup/rev31.gp3");
}

// Once spelled as on disk, a folder text names that folder even when a sibling differs only in
// case; the files a folder holds in several spellings are all found.
TEST_F(WinePrefixTest, OnDiskSpellingPinsTheFolderAndSpellingsFindTwins) {
    WriteFile(DriveC() / "Cavedog/TotalA/rev31.gp3", "a");
    WriteFile(DriveC() / "Cavedog/TotalA/REV31.GP3", "b");
    EXPECT_EQ(OnDiskSpelling("c:\\cavedog\\TOTALA\\new"), "c:\\Cavedog\\TotalA\\new");
    EXPECT_EQ(OnDiskSpelling("C:"), "C:\\");
    WriteFile(DriveC() / "Cavedog/totala/rev31.gp3", "sibling");
    EXPECT_EQ(HostPath(OnDiskSpelling("c:\\Cavedog\\TotalA") + "\\rev31.gp3"),
              DriveC() / "Cavedog/TotalA/rev31.gp3");
    EXPECT_EQ(SpellingsIn("c:\\cavedog\\TotalA", "Rev31.gp3"),
              (std::vector<std::string>{"REV31.GP3", "rev31.gp3"}));
    EXPECT_EQ(SpellingsIn("c:\\cavedog\\totala", "rev31.gp3"),
              std::vector<std::string>{"rev31.gp3"});
    EXPECT_TRUE(SpellingsIn("c:\\nowhere", "rev31.gp3").empty());
    TempDir posix;
    fs::create_directories(posix / "Games/TA");
    EXPECT_EQ(OnDiskSpelling((posix / "games/ta").string()), (posix / "Games/TA").string());
}

TEST_F(WinePrefixTest, DriveRootsAndUnknownDrives) {
    EXPECT_EQ(HostPath("c:\\"), DriveC());
    EXPECT_EQ(HostPath("c:"), DriveC());
    try {
        HostPath("q:\\games");
        FAIL() << "an unknown drive must be refused";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), kPathNotFound);
    }
}

TEST(HostPathTest, RootRelativeAndDotTexts) {
    EXPECT_THROW(HostPath(""), RuntimeError);
    EXPECT_THROW(HostPath(std::string("a\0b", 3)), RuntimeError);
#ifdef _WIN32
    GTEST_SKIP() << kNoMappingOnWindows;
#endif
    TempDir dir;
    fs::create_directories(dir / "Game/Sub");
    ScopedCurrentDir cwd(dir / "Game");
    EXPECT_EQ(HostPath("\\"), fs::path("/"));
    EXPECT_EQ(HostPath("sub\\x.txt"), dir.path() / "Game/Sub/x.txt");
    EXPECT_EQ(HostPath("..\\game\\.\\sub"), dir.path() / "Game/Sub");
}

// A path existing as spelled up to some folder is matched without regard to case after it; the
// resolver keeps folder listings, so it must learn of names created meanwhile and notice names
// removed.
TEST(HostPathTest, ResolverMatchesAsHostPathDoesAcrossCreationsAndRemovals) {
#ifdef _WIN32
    GTEST_SKIP() << kNoMappingOnWindows;
#endif
    TempDir dir;
    WriteFile(dir / "Game/TA/Rev31.GP3", "a");
    WriteFile(dir / "Game/TA/REV31.gp3", "b");
    WriteFile(dir / "Game/TA/Sub/x.txt", "c");
    const std::string game = (dir / "Game").string();
    PathResolver resolver;
    for (const char* text : {"/TA/rev31.gp3", "/ta/sub/X.TXT", "/TA/Sub/x.txt", "/ta/new/x"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(resolver.Resolve(game + text), HostPath(game + text));
    }
    EXPECT_EQ(HostPath(game + "/TA/rev31.gp3"), dir / "Game/TA/REV31.gp3");

    const fs::path created = resolver.Resolve(game + "/TA/Fresh.txt");
    EXPECT_EQ(created, dir / "Game/TA/Fresh.txt");
    WriteFile(created, "d");
    resolver.Created(created);
    EXPECT_EQ(resolver.Resolve(game + "/ta/FRESH.TXT"), dir / "Game/TA/Fresh.txt");

    fs::remove(dir / "Game/TA/REV31.gp3");
    EXPECT_EQ(resolver.Resolve(game + "/TA/rev31.gp3"), dir / "Game/TA/Rev31.GP3");
}

TEST(JoinPathTest, SuffixFollowsTheFolderStyle) {
    EXPECT_EQ(JoinPath("c:\\games\\ta", "\\rev31.gp3"), "c:\\games\\ta\\rev31.gp3");
    EXPECT_EQ(JoinPath("c:\\", "\\rev31.gp3"), "c:\\rev31.gp3");
    EXPECT_EQ(JoinPath("/home/ann/ta", "\\Orv_Backup\\rev31.mod"),
              "/home/ann/ta/Orv_Backup/rev31.mod");
    EXPECT_EQ(JoinPath("/", "\\rev31.gp3"), "/rev31.gp3");
}

TEST(FullPathTextTest, NormalisesFolders) {
    EXPECT_EQ(FullPathText("C:\\Games\\\\TA\\"), "C:\\Games\\TA");
    EXPECT_EQ(FullPathText("c:"), "c:\\");
    EXPECT_EQ(FullPathText("/home/ann/../bob/ta/"), "/home/bob/ta");
    EXPECT_EQ(FullPathText("\\"), "\\");
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    EXPECT_EQ(FullPathText("ta"),
              testing::HostText(fs::current_path()) + testing::kHostSeparator + "ta");
}

TEST(CaseTest, FoldsAsciiAndLatinLetters) {
    EXPECT_TRUE(EqualNoCase("Kelmora.ufo", "KELMORA.UFO"));
    EXPECT_TRUE(EqualNoCase("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"));  // Été
    EXPECT_FALSE(EqualNoCase("rev31.gp3", "rev31.gp"));
    EXPECT_EQ(LowerCase("C:\\Games\\\xC3\x89"), "c:\\games\\\xC3\xA9");
    EXPECT_EQ(UpperCase("arm\xC3\xA9"), "ARM\xC3\x89");
}

}  // namespace
}  // namespace kelmora
