// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "discovery/GameFolderSearch.h"
#include "platform/PathMapping.h"
#include "discovery/PrefixChoice.h"
#include "support/FakeGamePrefix.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::MakeWinePrefix;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

const RegistryEntryName kGameEntry{
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation", "Dir"};
constexpr const char* kGameKey64 =
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Total Annihilation]\n";
constexpr const char* kGameKey32 =
    "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Total "
    "Annihilation]\n";

// A home folder with a prefix or library of every launcher, as each lays them out, and a
// Steam library on another disk.
class GamePlacesTest : public ::testing::Test {
protected:
    GamePlacesTest() {
        MakeWinePrefix(Home() / ".wine", "");
        const fs::path steam = Home() / ".local/share/Steam";
        WriteFile(steam / "steamapps/libraryfolders.vdf",
                  "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.string() +
                      "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + OtherDisk().string() +
                      "\"\n\t}\n}\n");
        fs::create_directories(Home() / ".steam");
        fs::create_directory_symlink(steam, Home() / ".steam/steam");
        MakeWinePrefix(steam / "steamapps/compatdata/10/pfx", "\"Dir\"=\"\"");
        fs::create_directories(steam / "steamapps/compatdata/20");  // never started: no pfx
        MakeWinePrefix(OtherDisk() / "steamapps/compatdata/298030/pfx", "");
        WriteFile(Home() / ".config/lutris/games/ta-1.yml",
                  "game:\n  exe: ~/Games/ta/drive_c/TA/TotalA.exe\n  prefix: ~/Games/ta\n");
        WriteFile(Home() / ".config/lutris/games/gone-2.yml", "game:\n  prefix: /nowhere\n");
        MakeWinePrefix(Home() / "Games/ta", "");
        MakeWinePrefix(Home() / "Games/other", "");
        WriteFile(Home() / ".config/heroic/GamesConfig/Ab1.json",
                  R"({"Ab1": {"winePrefix": ")" + Heroic().string() + R"("}, "version": "v0"})");
        MakeWinePrefix(Heroic() / "pfx", "");  // a Proton prefix
        MakeWinePrefix(Home() / ".var/app/com.usebottles.bottles/data/bottles/bottles/TA", "");
    }
    ~GamePlacesTest() override { UseWinePrefix({}); }

    fs::path Home() const { return root_ / "home"; }
    fs::path OtherDisk() const { return root_ / "disk/SteamLibrary"; }
    fs::path Heroic() const { return Home() / "Games/Heroic/Prefixes/default/TA"; }
    fs::path Proton() const { return OtherDisk() / "steamapps/compatdata/298030/pfx"; }

    static void MakeGame(const fs::path& folder, const char* hpi = "totala1.hpi") {
        for (const char* name : {hpi, "CCDATA.CCX", "Rev31.gp3"}) WriteFile(folder / name, "");
    }

    std::vector<std::pair<fs::path, PrefixKeeper>> Known() const {
        std::vector<std::pair<fs::path, PrefixKeeper>> known;
        for (const KnownPrefix& prefix : KnownWinePrefixes(Home()))
            known.emplace_back(prefix.folder, prefix.keeper);
        return known;
    }

    TempDir root_;
};

TEST_F(GamePlacesTest, EveryLauncherIsAskedOnceInTheOrderOfPreference) {
    const fs::path steam = Home() / ".steam/steam";  // the first spelling of the one Steam
    EXPECT_EQ(SteamLibraries(Home()), (std::vector<fs::path>{steam, OtherDisk()}));
    EXPECT_EQ(Known(), (std::vector<std::pair<fs::path, PrefixKeeper>>{
                           {Home() / ".wine", PrefixKeeper::Wine},
                           {steam / "steamapps/compatdata/10/pfx", PrefixKeeper::Steam},
                           {Proton(), PrefixKeeper::Steam},
                           {"/nowhere", PrefixKeeper::Lutris},
                           {Home() / "Games/ta", PrefixKeeper::Lutris},
                           {Home() / "Games/other", PrefixKeeper::Lutris},
                           {Heroic() / "pfx", PrefixKeeper::Heroic},
                           {Home() / ".var/app/com.usebottles.bottles/data/bottles/bottles/TA",
                            PrefixKeeper::Bottles},
                       }));
}

TEST_F(GamePlacesTest, DamagedConfigurationsAndAnEmptyHomeLeaveTheRest) {
    WriteFile(Home() / ".local/share/Steam/steamapps/libraryfolders.vdf", "\"libraryfolders\" {");
    WriteFile(Home() / ".config/lutris/games/ta-1.yml", "game:\n  prefix: [\n");
    WriteFile(Home() / ".config/heroic/GamesConfig/Ab1.json", "{\"Ab1\": {");
    // The other disk's library, and Heroic's setting, are gone; Heroic's usual folder remains.
    const auto known = Known();
    ASSERT_EQ(known.size(), 7u);
    EXPECT_EQ(known[1].first, Home() / ".steam/steam/steamapps/compatdata/10/pfx");
    EXPECT_EQ(known[2].first, "/nowhere");
    EXPECT_EQ(known[5], std::pair(Heroic() / "pfx", PrefixKeeper::Heroic));

    const TempDir empty;
    const auto nothing = KnownWinePrefixes(empty.path());
    ASSERT_EQ(nothing.size(), 1u);
    const PrefixChoice choice = ChoosePrefix(nothing, kGameEntry);
    EXPECT_EQ(choice.Chosen(), nullptr);
    EXPECT_EQ(choice.checks.at(0).finding, PrefixFinding::NoPrefixFolder);
    const GameFolderSearch search = SearchGameFolders(empty.path(), nothing);
    EXPECT_TRUE(search.folders.empty());
    EXPECT_FALSE(search.cutShort);
}

TEST_F(GamePlacesTest, EachReasonForNotNamingTheGameIsTold) {
    const auto findingIn = [](const fs::path& prefix) {
        return CheckPrefix({prefix, PrefixKeeper::Environment}, kGameEntry).finding;
    };
    const fs::path prefix = root_ / "prefix";
    EXPECT_EQ(findingIn(prefix), PrefixFinding::NoPrefixFolder);
    fs::create_directories(prefix);
    EXPECT_EQ(findingIn(prefix), PrefixFinding::NoRegistryFile);
    fs::create_directories(prefix / "system.reg");
    EXPECT_EQ(findingIn(prefix), PrefixFinding::UnreadableRegistry);
    fs::remove(prefix / "system.reg");
    WriteFile(prefix / "system.reg",
              "REGEDIT4\n" + std::string(kGameKey64) + "\"Dir\"=\"C:\\\\TA\"\n");
    EXPECT_EQ(findingIn(prefix), PrefixFinding::UnreadableRegistry);
    for (const char* values : {"\"Path\"=\"C:\\\\TA\"", "\"Dir\"=\"\"", "\"Dir\"=dword:00000001",
                               "\"Dir\"=str(2):\"C:\\\\TA\""}) {
        fs::remove_all(prefix);
        MakeWinePrefix(prefix, values);
        EXPECT_EQ(findingIn(prefix), PrefixFinding::NoGameEntry) << values;
    }
    // The 32-bit view first, then the 64-bit one.
    WriteFile(prefix / "system.reg", std::string("WINE REGISTRY Version 2\n") + kGameKey64 +
                                         "\"Dir\"=\"C:\\\\64\"\n" + kGameKey32 +
                                         "\"Dir\"=\"C:\\\\32\\0x\"\n");
    EXPECT_EQ(CheckPrefix({prefix, PrefixKeeper::Wine}, kGameEntry).gameFolder, "C:\\32");
    WriteFile(prefix / "system.reg",
              std::string("WINE REGISTRY Version 2\r\n") + kGameKey64 + "\"Dir\"=\"C:\\\\64\"\n");
    EXPECT_EQ(CheckPrefix({prefix, PrefixKeeper::Wine}, kGameEntry).gameFolder, "C:\\64");
    // Key names match without regard to case, also where the text is skimmed before parsing.
    WriteFile(prefix / "system.reg",
              "WINE REGISTRY Version 2\n[SOFTWARE\\\\MICROSOFT\\\\WINDOWS\\\\CURRENTVERSION\\\\"
              "UNINSTALL\\\\TOTAL ANNIHILATION]\n\"Dir\"=\"C:\\\\Up\"\n");
    EXPECT_EQ(CheckPrefix({prefix, PrefixKeeper::Wine}, kGameEntry).gameFolder, "C:\\Up");
}

TEST_F(GamePlacesTest, TheFirstPrefixNamingTheGameIsUsedForRegistryAndDrives) {
    MakeWinePrefix(Home() / "Games/other2", "\"Dir\"=\"C:\\\\Later\"");
    fs::remove_all(Proton());
    MakeWinePrefix(Proton(), "\"Dir\"=\"C:\\\\Games\\\\TA\"");
    {
        const ScopedEnv home("HOME", Home().string());
        const ScopedEnv unset("WINEPREFIX", "");
        const PrefixChoice choice = SelectWinePrefix(kGameEntry);
        ASSERT_NE(choice.Chosen(), nullptr);
        EXPECT_EQ(choice.checks.size(), 3u);  // .wine, compatdata/10 (an empty entry), 298030
        EXPECT_EQ(choice.checks[1].finding, PrefixFinding::NoGameEntry);
        EXPECT_EQ(choice.Chosen()->gameFolder, "C:\\Games\\TA");
        EXPECT_EQ(WinePrefix(), Proton());
        EXPECT_EQ(HostPath("c:\\games\\ta\\rev31.gp3"),
                  Proton() / "dosdevices/c:/games/ta/rev31.gp3");
    }
    UseWinePrefix({});
    // A prefix the person set is the only one asked, and stays in use.
    const ScopedEnv set("WINEPREFIX", (Home() / ".wine").string());
    const PrefixChoice choice = SelectWinePrefix(kGameEntry);
    ASSERT_EQ(choice.checks.size(), 1u);
    EXPECT_EQ(choice.checks[0].finding, PrefixFinding::NoGameEntry);
    EXPECT_EQ(choice.checks[0].prefix.keeper, PrefixKeeper::Environment);
    EXPECT_EQ(WinePrefix(), Home() / ".wine");
    // A prefix chosen later (a folder the search found) wins over the environment's.
    UseWinePrefix(Proton());
    EXPECT_EQ(WinePrefix(), Proton());
}

TEST_F(GamePlacesTest, TheSearchFindsGameFoldersWithinItsBoundsOnly) {
    const fs::path bottle = Home() / ".var/app/com.usebottles.bottles/data/bottles/bottles/TA";
    MakeGame(bottle / "drive_c/Program Files (x86)/Cavedog/TotalA", "TOTALA1.HPI");
    MakeGame(Home() / "Games/ta/drive_c/GOG Games/TA");
    MakeGame(OtherDisk() / "steamapps/common/Total Annihilation");
    // Steam's manifests say which Proton prefix belongs to which installed game.
    WriteFile(OtherDisk() / "steamapps/appmanifest_10.acf",
              "\"AppState\" { \"appid\" \"10\" \"installdir\" \"Other\" }");
    WriteFile(OtherDisk() / "steamapps/appmanifest_298030.acf",
              "\"AppState\"\n{\n\t\"appid\"\t\t\"298030\"\n\t\"installdir\"\t\t\"total "
              "annihilation\"\n}\n");
    MakeGame(Home() / "Games/Plain TA");
    // Out of bounds: too deep, in C:\windows, behind a link, or not all three files.
    MakeGame(Home() / ".wine/drive_c/a/b/c/d/TA");
    MakeGame(Home() / ".wine/drive_c/windows/TA");
    MakeGame(root_ / "elsewhere/TA");
    fs::create_directory_symlink(root_ / "elsewhere", Home() / "Games/linked");
    WriteFile(Home() / "Games/Partial/totala1.hpi", "");
    WriteFile(Home() / "Games/Partial/rev31.gp3", "");

    const GameFolderSearch search = SearchGameFolders(Home(), KnownWinePrefixes(Home()));
    EXPECT_FALSE(search.cutShort);
    const auto canonical = [](const fs::path& path) { return fs::canonical(path); };
    ASSERT_EQ(search.folders.size(), 4u);
    EXPECT_EQ(search.folders[0].folder, canonical(Home() / "Games/ta/drive_c/GOG Games/TA"));
    EXPECT_EQ(search.folders[0].prefix, Home() / "Games/ta");
    EXPECT_EQ(search.folders[1].folder,
              canonical(bottle / "drive_c/Program Files (x86)/Cavedog/TotalA"));
    EXPECT_EQ(search.folders[1].prefix, bottle);
    EXPECT_EQ(search.folders[2].folder,
              canonical(OtherDisk() / "steamapps/common/Total Annihilation"));
    EXPECT_EQ(search.folders[2].prefix, Proton());
    EXPECT_EQ(search.folders[3].folder, canonical(Home() / "Games/Plain TA"));

    EXPECT_TRUE(SearchGameFolders(Home(), KnownWinePrefixes(Home()), {1, 100}).cutShort);
    const GameFolderSearch capped = SearchGameFolders(Home(), KnownWinePrefixes(Home()), {100, 12});
    EXPECT_TRUE(capped.cutShort);
    EXPECT_LT(capped.folders.size(), 4u);
}

}  // namespace
}  // namespace kelmora
