// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/DemoSandbox.h"
#include "platform/PathMapping.h"
#include "support/FakeGamePrefix.h"
#include "support/GameSandbox.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::Finished;
using testing::HostText;
using testing::kHostSeparator;
using testing::ReadFile;

// Runs the installer with `arguments` and `environment` changes from `folder`, with no display
// and no Wine prefix, `folder` as the home folder.
Finished RunInstaller(std::vector<std::string> arguments, const fs::path& folder,
                      const testing::Invocation::Environment& environment = {}) {
    testing::Invocation::Environment changes{{"DISPLAY", std::nullopt},
                                             {"WAYLAND_DISPLAY", std::nullopt},
                                             {"WINEPREFIX", std::nullopt},
                                             {"HOME", HostText(folder)}};
    changes.insert(changes.end(), environment.begin(), environment.end());
    return testing::Run({KELMORA_INSTALLER, std::move(arguments), folder, std::move(changes)});
}

// On Windows the game's setup writes the machine's registry: no launcher keeps a Wine prefix.

const std::vector<ArchiveEntry> kGame = {{"scripts", std::nullopt},
                                         {"scripts\\armcom.cob", "game armcom"},
                                         {"scripts\\corcom.cob", "game corcom"}};
const std::vector<ArchiveEntry> kPackage = {{"rev31.gp3\\scripts", std::nullopt},
                                            {"rev31.gp3\\scripts\\ArmCom.cob", "package armcom"}};

// The unattended mode on a sandbox's folders, then `more` arguments.
std::vector<std::string> Unattended(const testing::GameSandbox& sandbox,
                                    std::vector<std::string> more = {}) {
    std::vector<std::string> arguments{"--unattended", "--game-dir", HostText(sandbox.gameFolder),
                                       "--package-dir", HostText(sandbox.packageFolder)};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

TEST(UnattendedTest, InstallsPrintingTheOutcomeAndTheProgress) {
    testing::GameSandbox sandbox(kGame, kPackage);
    const std::string original = ReadFile(sandbox.GameArchive());

    const Finished run = RunInstaller(Unattended(sandbox), sandbox.root.path());

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "Orvald's Kelmora Installation Program\n"
              "Installation Successful.  The Orvald's Kelmora is now ready to run.\n\n");
    const std::string game = ShownFolder(HostText(sandbox.gameFolder));
    EXPECT_TRUE(run.err.starts_with("Backing up rev31.gp3...\nExtracting data from " + game +
                                    kHostSeparator +
                                    "rev31.gp3...\n0%\n100%\nExtracting data from "))
        << run.err;
    EXPECT_NE(run.err.find("Compressing " + game + kHostSeparator + "rev31.gp3...\n0%\n"),
              std::string::npos);
    EXPECT_EQ(testing::ArchiveEntryContent(sandbox.GameArchive(), "scripts\\armcom.cob"),
              "package armcom");
    EXPECT_EQ(testing::ArchiveEntryContent(sandbox.GameArchive(), "scripts\\corcom.cob"),
              "game corcom");
    EXPECT_EQ(ReadFile(sandbox.BackupFolder() / "rev31.gp3"), original);
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
    EXPECT_FALSE(fs::exists(sandbox.Package()));
}

// On Windows the arguments come from the wide command line, and texts go out as UTF-8.
TEST(UnattendedTest, InstallsIntoAFolderWhoseNameIsNotAscii) {
    testing::GameSandbox sandbox(kGame, kPackage);
    const fs::path game = sandbox.root.path() / testing::PathFromUtf8("D\xC3\xA9j\xC3\xA0 vu");
    fs::rename(sandbox.gameFolder, game);
    sandbox.gameFolder = game;

    const Finished run = RunInstaller(Unattended(sandbox), sandbox.root.path());

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Compressing " + ShownFolder(HostText(game)) + kHostSeparator +
                           "rev31.gp3...\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(testing::ArchiveEntryContent(sandbox.GameArchive(), "scripts\\armcom.cob"),
              "package armcom");
}

TEST(UnattendedTest, RefusesAGameOfAnotherVersionWithTheConflictMessageAndChangesNothing) {
    testing::GameSandbox sandbox(kGame, kPackage);
    fs::resize_file(sandbox.gameFolder / "ccdata.ccx", testing::kCcdataSize + 1);

    const Finished run = RunInstaller(Unattended(sandbox), sandbox.root.path());

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "Version Conflict Detected\n"
              "The following file(s) do not match the Cavedog defaults:\n     " +
                  ShownFolder(HostText(sandbox.gameFolder)) + kHostSeparator +
                  "ccdata.ccx\n\nPlease verify that you have not installed any 3rd "
                  "party modifications to these files.\n\nPlease press OK to terminate "
                  "this installation.\n\n");
    EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
    EXPECT_TRUE(fs::exists(sandbox.Package()));
}

TEST(UnattendedTest, SaysWhichFilesAreMissingAndRefusesBadCommandLines) {
    testing::GameSandbox sandbox(kGame, kPackage);
    fs::remove(sandbox.Package());
    const Finished missing = RunInstaller(Unattended(sandbox), sandbox.root.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(JoinPath(HostText(sandbox.packageFolder), "\\KELMORA.UFO")),
              std::string::npos)
        << missing.err;
    EXPECT_EQ(missing.out, "");

    EXPECT_EQ(RunInstaller({"--unattended", "--action", "repair"}, sandbox.root.path()).status, 2);
    EXPECT_EQ(
        RunInstaller({"--unattended", "--game-dir", "x", "--force"}, sandbox.root.path()).status,
        2);
    EXPECT_EQ(RunInstaller({"--game-dir", "x"}, sandbox.root.path()).status, 2);
    EXPECT_EQ(RunInstaller({"--unattended", "--game-dir"}, sandbox.root.path()).status, 2);
    EXPECT_EQ(
        RunInstaller(Unattended(sandbox, {"--action", "uninstall"}), sandbox.root.path()).status,
        1);
    const Finished help = RunInstaller({"--help"}, sandbox.root.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--unattended"), std::string::npos);
}

TEST(UnattendedTest, AUsageErrorIsOneLineAndAHintAndNeverOpensTheWindows) {
    const testing::TempDir here;
    // Without QT_QPA_PLATFORM and a display, windows that opened would fail on their own.
    const Finished unknown =
        RunInstaller({"--bogus"}, here.path(), {{"QT_QPA_PLATFORM", std::nullopt}});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err,
              "kelmora-installer: unknown option '--bogus'\n"
              "Try 'kelmora-installer --help'.\n");
    EXPECT_EQ(unknown.out, "");

    const Finished version = RunInstaller({"--version"}, here.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kelmora-installer " KELMORA_VERSION "\n");

#ifndef _WIN32  // Windows always has a desktop to open the windows on
    // No display, or one that does not open (a stale one over ssh): one line that names it.
    for (const char* display : {"", ":8731"}) {
        const Finished noDisplay = RunInstaller(
            {}, here.path(), {{"QT_QPA_PLATFORM", std::nullopt}, {"DISPLAY", display}});
        EXPECT_EQ(noDisplay.status, 1);
        EXPECT_EQ(std::count(noDisplay.err.begin(), noDisplay.err.end(), '\n'), 1) << noDisplay.err;
        EXPECT_NE(noDisplay.err.find("--unattended"), std::string::npos);
        EXPECT_NE(noDisplay.err.find(*display ? display : "DISPLAY"), std::string::npos);
    }
#endif
}

TEST(UnattendedTest, SaysWhyTheRegistryNamesNoGameFolder) {
#ifdef _WIN32
    GTEST_SKIP() << testing::kNoWinePrefixes;
#endif
    const testing::TempDir here;
    const fs::path prefix = here / "prefix";
    const auto errorWith = [&]() {
        const Finished run =
            RunInstaller({"--unattended"}, here.path(), {{"WINEPREFIX", prefix.string()}});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("give it with --game-dir"), std::string::npos) << run.err;
        return run.err;
    };
    const std::string heading = "kelmora-installer: no registry names the game folder\n  " +
                                prefix.string() + " (WINEPREFIX): ";
    EXPECT_NE(errorWith().find(heading + "the prefix folder does not exist"), std::string::npos);
    fs::create_directories(prefix);
    EXPECT_NE(errorWith().find(heading + "the prefix has no system.reg"), std::string::npos);
    fs::create_directories(prefix / "system.reg");
    EXPECT_NE(errorWith().find(heading + "system.reg cannot be read"), std::string::npos);
    fs::remove(prefix / "system.reg");
    testing::MakeWinePrefix(prefix, "\"Path\"=\"C:\\\\TA\"");
    EXPECT_NE(errorWith().find(heading + "the registry has no entry for the game"),
              std::string::npos);

    const Finished missing = RunInstaller({"--unattended", "--game-dir=/nowhere/ta"}, here.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "kelmora-installer: the game folder /nowhere/ta does not exist\n");
}

// A home folder where Steam's Proton prefix for the game maps drive D: to ~/Games, and ~/Games/TA
// holds the game.
class LauncherHome {
public:
    LauncherHome() {
        testing::MakeWinePrefix(Home() / ".wine", "");
        WriteProtonRegistry("\"Dir\"=\"D:\\\\TA\"");
        fs::create_directory_symlink(Games(), Proton() / "dosdevices/d:");
        testing::MakeFiles(Games() / "TA", {"totala1.hpi", "ccdata.ccx", "rev31.gp3"});
    }

    void WriteProtonRegistry(const std::string& valueLines) const {
        fs::remove_all(Proton() / "system.reg");
        fs::remove_all(Proton() / "dosdevices/c:");
        testing::MakeWinePrefix(Proton(), valueLines);
    }

    fs::path Home() const { return root_ / "home"; }
    fs::path Games() const { return Home() / "Games"; }
    fs::path Proton() const {
        return Home() / ".local/share/Steam/steamapps/compatdata/298030/pfx";
    }

private:
    testing::TempDir root_;
};

TEST(UnattendedTest, FindsTheGameInALaunchersPrefixOrByTheOnlyFolderFound) {
#ifdef _WIN32
    GTEST_SKIP() << testing::kNoWinePrefixes;
#endif
    const LauncherHome home;
    const Finished named = RunInstaller({"--unattended", "--action", "uninstall"}, home.Home());
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.err,
              "kelmora-installer: the patch is not installed in D:\\TA; nothing to uninstall\n");

    home.WriteProtonRegistry("");
    const std::string game = fs::canonical(home.Games() / "TA").string();
    const Finished found = RunInstaller({"--unattended", "--action", "uninstall"}, home.Home());
    EXPECT_EQ(found.status, 1);
    EXPECT_EQ(found.err,
              "kelmora-installer: no registry names the game folder; using the one found: " + game +
                  "\nkelmora-installer: the patch is not installed in " + game +
                  "; nothing to uninstall\n");

    const fs::path second = home.Home() / ".wine/drive_c/Cavedog/TotalA";
    testing::MakeFiles(second, {"TOTALA1.HPI", "ccdata.ccx", "rev31.gp3"});
    const Finished several = RunInstaller({"--unattended"}, home.Home());
    EXPECT_EQ(several.status, 1);
    EXPECT_NE(several.err.find(home.Proton().string() +
                               " (Steam (Proton)): the registry has no entry for the game\n"),
              std::string::npos)
        << several.err;
    EXPECT_NE(several.err.find("choose one with --game-dir:\n  " + fs::canonical(second).string() +
                               "\n  " + game + "\n"),
              std::string::npos)
        << several.err;

    const Finished list = RunInstaller({"--find-game"}, home.Home());
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, fs::canonical(second).string() + "\t" + (home.Home() / ".wine").string() +
                            "\n" + game + "\t-\n");
    const testing::TempDir empty;
    const Finished none = RunInstaller({"--find-game"}, empty.path());
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
}

TEST(UnattendedTest, DrivesTheControlPanelOnceInstalled) {
    testing::GameSandbox sandbox(kGame, kPackage);
    const std::string original = ReadFile(sandbox.GameArchive());
    const auto game = [&](std::vector<std::string> action) {
        action.insert(action.begin(), {"--unattended", "--game-dir", HostText(sandbox.gameFolder)});
        return action;
    };
    const fs::path here = sandbox.root.path();
    ASSERT_EQ(RunInstaller(Unattended(sandbox), here).status, 0);

    // Refused alike however it is asked, offering only what the patch's state allows.
    for (const auto& refused : {game({}), game({"--action", "install"})}) {
        const Finished run = RunInstaller(refused, here);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.ends_with("; choose --action uninstall or disable\n")) << run.err;
    }
    EXPECT_EQ(RunInstaller(game({"--action", "enable"}), here).status, 1);
    const Finished disable = RunInstaller(game({"--action", "disable"}), here);
    EXPECT_EQ(disable.status, 0) << disable.out << disable.err;
    EXPECT_EQ(ReadFile(sandbox.GameArchive()), original);
    EXPECT_EQ(RunInstaller(game({"--action", "disable"}), here).status, 1);
    EXPECT_EQ(RunInstaller(game({"--action", "enable"}), here).status, 0);
    EXPECT_EQ(RunInstaller(game({"--action", "uninstall"}), here).status, 0);
    EXPECT_EQ(ReadFile(sandbox.GameArchive()), original);
    EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
}

TEST(UnattendedTest, FindsTheDemoSandboxsGameThroughItsWineRegistry) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows reads its own registry: the demo redirects it in its own process "
                    "(DemoSandboxTest)";
#endif
    testing::TempDir root;
    const DemoSandbox demo = BuildDemoSandbox(root.path());
    EXPECT_EQ(fs::file_size(demo.gameFolder / "totala1.hpi"), testing::kTotala1Size);
    EXPECT_EQ(fs::file_size(demo.gameFolder / "ccdata.ccx"), testing::kCcdataSize);
    EXPECT_EQ(fs::file_size(demo.gameFolder / "rev31.gp3"), testing::kRev31Size);

    const Finished run =
        RunInstaller({"--unattended"}, demo.packageFolder, {{"WINEPREFIX", HostText(demo.prefix)}});

    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("Extracting data from c:\\cavedog\\totala\\rev31.gp3..."),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(testing::ArchiveEntryContent(demo.gameFolder / "rev31.gp3", "scripts\\armcom.cob")
                    .starts_with("kelmora commander script"));
    // A second build reuses the sandbox as it is: installed, so the program shows its panel.
    BuildDemoSandbox(root.path());
    EXPECT_TRUE(fs::exists(demo.gameFolder / "Orv_Backup" / "rev31.gp3"));
    EXPECT_FALSE(fs::exists(demo.packageFolder / "KELMORA.UFO"));
}

}  // namespace
}  // namespace kelmora
