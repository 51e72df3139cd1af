#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/DemoSandbox.h"
#include "platform/PathMapping.h"
#include "support/GameSandbox.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::Finished;
using testing::HostText;
using testing::kHostSeparator;
using testing::ReadFile;

// Runs the installer with `arguments` and `environment` changes from `folder`, with no display.
Finished RunInstaller(std::vector<std::string> arguments, const fs::path& folder,
                      testing::Invocation::Environment environment = {}) {
    environment.push_back({"DISPLAY", std::nullopt});
    environment.push_back({"WAYLAND_DISPLAY", std::nullopt});
    return testing::Run({KELMORA_INSTALLER, std::move(arguments), folder, std::move(environment)});
}

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
    const std::string game = LowerCase(HostText(sandbox.gameFolder));
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

TEST(UnattendedTest, RefusesAGameOfAnotherVersionWithTheConflictMessageAndChangesNothing) {
    testing::GameSandbox sandbox(kGame, kPackage);
    fs::resize_file(sandbox.gameFolder / "ccdata.ccx", testing::kCcdataSize + 1);

    const Finished run = RunInstaller(Unattended(sandbox), sandbox.root.path());

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "Version Conflict Detected\n"
              "The following file(s) do not match the Cavedog defaults:\n     " +
                  LowerCase(HostText(sandbox.gameFolder)) + kHostSeparator +
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

TEST(UnattendedTest, DrivesTheControlPanelOnceInstalled) {
    testing::GameSandbox sandbox(kGame, kPackage);
    const std::string original = ReadFile(sandbox.GameArchive());
    const auto game = [&](std::vector<std::string> action) {
        action.insert(action.begin(), {"--unattended", "--game-dir", HostText(sandbox.gameFolder)});
        return action;
    };
    const fs::path here = sandbox.root.path();
    ASSERT_EQ(RunInstaller(Unattended(sandbox), here).status, 0);

    EXPECT_EQ(RunInstaller(game({}), here).status, 2);
    EXPECT_EQ(RunInstaller(game({"--action", "install"}), here).status, 1);
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
