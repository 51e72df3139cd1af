// Exactly the folder and files the player named, through the real program: a sibling folder that
// differs only in letter case, a game archive or package there in two spellings, and leftover
// work folders that are links out of the game folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "Invariant.h"
#include "Scenario.h"

namespace kelmora::reliability {
namespace {

struct Finished {
    int status;
    std::string out;
};

Finished Unattended(const testing::GameSandbox& sandbox, const std::string& action = "") {
    const fs::path out =
        sandbox.root.path().parent_path() / (sandbox.root.path().filename().string() + ".out");
    const std::string command =
        std::string("'") + KELMORA_INSTALLER + "' --unattended --game-dir '" +
        sandbox.gameFolder.string() + "' --package-dir '" + sandbox.packageFolder.string() + "'" +
        (action.empty() ? "" : " --action " + action) + " >'" + out.string() + "' 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    Finished finished{WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::ReadFile(out)};
    fs::remove(out);
    return finished;
}

// The game folder spelled "Game", beside a sibling "game" holding another copy of the game.
TEST(TwinsAndLinksTest, TheInstallPatchesTheFolderNamedNotASiblingInAnotherCase) {
    testing::GameSandbox sandbox(GameEntries(), PackageEntries());
    fs::rename(sandbox.gameFolder, sandbox.root / "Game");
    sandbox.gameFolder = sandbox.root / "Game";
    testing::WriteFile(sandbox.root / "game" / "rev31.gp3", "another copy of the game");
    InstallInvariant invariant(sandbox);
    invariant.ExpectOnSuccess(InstalledFiles());

    const Finished run = Unattended(sandbox);

    EXPECT_EQ(run.status, 0) << run.out;
    InstallState state{};
    EXPECT_EQ(invariant.Check(false, true, &state), "");
    EXPECT_EQ(state, InstallState::kInstalled);
}

// Two spellings of the package, or of the game archive: every run stops before any change and
// names both files.
TEST(TwinsAndLinksTest, TwoSpellingsOfAFileStopEveryRunBeforeAnyChange) {
    {
        testing::GameSandbox sandbox(GameEntries(), PackageEntries());
        testing::WriteFile(sandbox.packageFolder / "Kelmora.ufo", "an older download");
        InstallInvariant invariant(sandbox);
        const Finished run = Unattended(sandbox);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find("KELMORA.UFO\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Kelmora.ufo\n"), std::string::npos) << run.out;
        EXPECT_EQ(invariant.Check(false, false), "");
    }
    testing::GameSandbox sandbox(GameEntries(), PackageEntries());
    testing::WriteFile(sandbox.gameFolder / "REV31.GP3", "the player's own archive");
    InstallInvariant invariant(sandbox);
    EXPECT_EQ(Unattended(sandbox).status, 1);
    EXPECT_EQ(invariant.Check(false, false), "");

    // Installed, then the twin appears: no action of the panel touches either file.
    fs::remove(sandbox.gameFolder / "REV31.GP3");
    ASSERT_EQ(Unattended(sandbox).status, 0);
    testing::WriteFile(sandbox.gameFolder / "REV31.GP3", "the player's own archive");
    const Tree before = TreeOf(sandbox.gameFolder);
    for (const char* action : {"uninstall", "disable"}) {
        const Finished run = Unattended(sandbox, action);
        EXPECT_EQ(run.status, 1) << action;
        EXPECT_NE(run.out.find("same name in different letter case"), std::string::npos);
        EXPECT_EQ(Difference(before, TreeOf(sandbox.gameFolder)), "") << action;
    }
}

// A work folder left behind as a link out of the game folder, or holding one: removed as a link,
// and nothing is written where it led.
TEST(TwinsAndLinksTest, ALeftoverWorkFolderNeverLeadsTheInstallOutOfTheGameFolder) {
    for (const bool linkInside : {false, true}) {
        SCOPED_TRACE(linkInside ? "a link inside the work folder" : "the work folder a link");
        testing::GameSandbox sandbox(GameEntries(), PackageEntries());
        testing::WriteFile(sandbox.root / "elsewhere" / "keep.txt", "the player's");
        InstallInvariant invariant(sandbox);
        invariant.ExpectOnSuccess(InstalledFiles());
        if (linkInside) {
            fs::create_directories(sandbox.WorkFolder());
            fs::create_directory_symlink(sandbox.root / "elsewhere",
                                         sandbox.WorkFolder() / "scripts");
        } else {
            fs::create_directory_symlink(sandbox.root / "elsewhere", sandbox.WorkFolder());
        }

        const Finished run = Unattended(sandbox);

        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(invariant.Check(false, true), "");
        EXPECT_FALSE(fs::exists(fs::symlink_status(sandbox.WorkFolder())));
    }
}

}  // namespace
}  // namespace kelmora::reliability
