// SPDX-License-Identifier: GPL-3.0-or-later
// Exactly the folder the player named, through the real program: a sibling folder that differs
// only in letter case, and leftover work folders that are links out of the game folder. (Files
// there in two spellings stop the install and the panel before any change: PatchInstallTest and
// PanelActionsTest.)
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "Invariant.h"
#include "Scenario.h"

namespace kelmora::reliability {
namespace {

// The exit status of an unattended install.
int Install(const testing::GameSandbox& sandbox) {
    const std::string command = std::string("'") + KELMORA_INSTALLER +
                                "' --unattended --game-dir '" + sandbox.gameFolder.string() +
                                "' --package-dir '" + sandbox.packageFolder.string() +
                                "' >/dev/null 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The game folder spelled "Game", beside a sibling "game" holding another copy of the game.
TEST(TwinsAndLinksTest, TheInstallPatchesTheFolderNamedNotASiblingInAnotherCase) {
    testing::GameSandbox sandbox(GameEntries(), PackageEntries());
    fs::rename(sandbox.gameFolder, sandbox.root / "Game");
    sandbox.gameFolder = sandbox.root / "Game";
    testing::WriteFile(sandbox.root / "game" / "rev31.gp3", "another copy of the game");
    InstallInvariant invariant(sandbox);
    invariant.ExpectOnSuccess(InstalledFiles());

    EXPECT_EQ(Install(sandbox), 0);
    InstallState state{};
    EXPECT_EQ(invariant.Check(false, true, &state), "");
    EXPECT_EQ(state, InstallState::kInstalled);
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

        EXPECT_EQ(Install(sandbox), 0);
        EXPECT_EQ(invariant.Check(false, true), "");
        EXPECT_FALSE(fs::exists(fs::symlink_status(sandbox.WorkFolder())));
    }
}

}  // namespace
}  // namespace kelmora::reliability
