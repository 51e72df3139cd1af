// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "discovery/LauncherConfigs.h"

namespace kelmora {
namespace {

using Paths = std::vector<std::string>;

std::string Repeated(std::string_view part, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += part;
    return text;
}

TEST(SteamLibraryPathsTest, ReadsBothFormsWithTheirEscapesCommentsAndConditions) {
    EXPECT_EQ(SteamLibraryPaths(R"("libraryfolders"
{
	"contentstatsid"		"-4"
	"0"
	{
		"path"		"/home/ann/.local/share/Steam"
		"apps"
		{
			"298030"		"1234"
		}
	}
	// a second disk
	"1" [$LINUX]
	{
		"PATH"		"/mnt/Steam \"Games\"\\x\q"
	}
})"),
              (Paths{"/home/ann/.local/share/Steam", "/mnt/Steam \"Games\"\\x\\q"}));
    EXPECT_EQ(SteamLibraryPaths("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"17\"\n"
                                "\t\"1\"\t\"/mnt/old\"\n}\n"),
              Paths{"/mnt/old"});
}

TEST(SteamLibraryPathsTest, DamagedFilesGiveNoFolders) {
    for (const std::string& text :
         {std::string(R"("libraryfolders" { "1" { "path" "/a" })"),  // block left open
          std::string(R"("libraryfolders" { "1" { "path" "/a }})"),  // quote left open
          std::string(R"("libraryfolders" { "1" })"),                // key without value
          std::string(R"(} "libraryfolders" { "1" "/a" })"),         // stray brace
          "\"libraryfolders\" {\"1\" {\"path\" \"/a\"" + Repeated("\"k\" {", 100000) +
              Repeated("}", 100002)}) {
        EXPECT_EQ(SteamLibraryPaths(text), Paths{}) << text.substr(0, 60);
    }
}

TEST(SteamAppManifestTest, GivesTheAppIdAndFolderOnlyWhenTheIdIsANumber) {
    const std::optional<SteamApp> app = SteamAppManifest(R"("AppState"
{
	"appid"		"298030"
	"name"		"Total Annihilation: Commander Pack"
	"InstallDir"		"Total Annihilation"
	"UserConfig" { "installdir" "wrong" }
})");
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->appId, "298030");
    EXPECT_EQ(app->installDir, "Total Annihilation");
    // The id names a folder: anything but digits could name another one.
    for (const char* text :
         {R"("AppState" { "appid" "../../x" "installdir" "TA" })", R"("AppState" { "appid" "1" })",
          R"("AppState" { "appid" "1" )", R"("AppState" { "appid" "1" "installdir" "" })"}) {
        EXPECT_EQ(SteamAppManifest(text), std::nullopt) << text;
    }
}

TEST(LutrisGamePrefixTest, ReadsThePrefixOfTheGameSectionOnly) {
    EXPECT_EQ(LutrisGamePrefix("wine:\n  prefix: /wrong\ngame:\n  exe: /ta/TotalA.exe\n"
                               "  args: {prefix: /wrong}\n  prefix: /home/ann/Games/ta\n"),
              "/home/ann/Games/ta");
    EXPECT_EQ(LutrisGamePrefix("game:\n  prefix: \"/g/\\u00e9t\\u00e9\"\n"),
              "/g/\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(LutrisGamePrefix("game:\n  prefix: '~/Games/it''s'\n"), "~/Games/it's");
}

TEST(LutrisGamePrefixTest, MissingNullOrDamagedGivesNothing) {
    for (const std::string& text :
         {std::string("game:\n  exe: /ta/TotalA.exe\n"), std::string("game:\n  prefix: ~\n"),
          std::string("game:\n  prefix:\n"), std::string("game: [prefix, /x]\n"),
          std::string("game:\n  ? [prefix]\n  : /x\n"), std::string("game:\n  prefix: \"/x\n"),
          "game:\n  prefix: " + Repeated("[", 200000)}) {
        EXPECT_EQ(LutrisGamePrefix(text), std::nullopt) << text.substr(0, 60);
    }
}

TEST(HeroicWinePrefixesTest, ReadsEachGamesTextPrefixInFileOrder) {
    EXPECT_EQ(
        HeroicWinePrefixes(R"({"zeta": {"winePrefix": "/p/zeta", "wineVersion": {"bin": "/w"}},
        "alpha": {"winePrefix": "/p/al\u00e9"}, "beta": {"winePrefix": 3}, "gamma": [],
        "version": "v0", "explicit": true})"),
        (Paths{"/p/zeta", "/p/al\xc3\xa9"}));
    for (const std::string& text : {std::string(R"({"a": {"winePrefix": "/p")"),
                                    std::string(R"(["/p"])"), Repeated("[", 100000)}) {
        EXPECT_EQ(HeroicWinePrefixes(text), Paths{}) << text.substr(0, 60);
    }
}

}  // namespace
}  // namespace kelmora
