// SPDX-License-Identifier: GPL-3.0-or-later
// Kills an unattended install at each of its file operations in turn, checks what it left against
// the invariant, then runs the program again on the same folder: with a backup folder it must be
// able to uninstall back to the original, else it must install cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Invariant.h"
#include "Scenario.h"
#include "platform/DurableFiles.h"
#include "support/Portable.h"

namespace kelmora::reliability {
namespace {

using testing::HostText;
using Arguments = std::vector<std::string>;

struct Exit {
    bool killed = false;
    int status = -1;
    std::string output;
};

Exit RunProgram(const std::string& program, const Arguments& arguments) {
    const testing::Finished finished = testing::Run(program, arguments);
    return {finished.killed, finished.status, finished.out + finished.err};
}

// The driver kills the program at operation `at`.
Exit RunKilledAt(std::uint64_t at, Arguments arguments) {
    arguments.insert(arguments.begin(), std::to_string(at));
    return RunProgram(KELMORA_CRASH_DRIVER, arguments);
}

// Whether a kill left a temporary file of ours: it struck while a copy was written or flushed.
bool StruckACopy(const fs::path& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && IsTemporaryName(entry.path().filename().string()))
            return true;
    }
    return false;
}

Arguments Unattended(const testing::GameSandbox& sandbox, const std::string& action = {}) {
    Arguments arguments{"--unattended", "--game-dir", HostText(sandbox.gameFolder), "--package-dir",
                        HostText(sandbox.packageFolder)};
    if (!action.empty()) arguments.insert(arguments.end(), {"--action", action});
    return arguments;
}

TEST(CrashTest, AnInstallKilledAtAnyOperationLeavesAWayBack) {
    int killPoints = 0, inACopy = 0, withBackup = 0, withoutBackup = 0;
    for (std::uint64_t at = 1;; ++at) {
        testing::GameSandbox sandbox(GameEntries(), PackageEntries());
        InstallInvariant invariant(sandbox);
        invariant.ExpectOnSuccess(InstalledFiles());
        const Exit first = RunKilledAt(at, Unattended(sandbox));
        if (!first.killed) {
            // The run got past its last operation: it must have installed.
            EXPECT_EQ(first.status, 0) << first.output;
            EXPECT_EQ(invariant.Check(false, true), "");
            ASSERT_GT(at, 20u) << "the install ended early:\n" << first.output;
            break;
        }
        ++killPoints;
        inACopy += StruckACopy(sandbox.gameFolder);
        EXPECT_EQ(invariant.Check(true, false), "") << "killed at operation " << at;

        // The second run: the program decides by the backup folder, as at every start.
        const bool backup = fs::exists(sandbox.BackupFolder());
        const Exit second =
            RunProgram(KELMORA_INSTALLER, Unattended(sandbox, backup ? "uninstall" : ""));
        EXPECT_EQ(second.status, 0) << "after a kill at operation " << at << ":\n" << second.output;
        if (backup) {
            ++withBackup;
            EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
            EXPECT_TRUE(testing::ReadFile(sandbox.GameArchive()) == invariant.original())
                << "uninstall after a kill at operation " << at << " did not restore the original";
        } else {
            ++withoutBackup;
            InstallState state{};
            EXPECT_EQ(invariant.Check(true, true, &state), "") << "install after a kill at " << at;
            EXPECT_EQ(state, InstallState::kInstalled);
        }
    }
    std::printf(
        "crash test: %d kill points (%d while a copy was written or flushed); the second run "
        "uninstalled %d times and installed %d times\n",
        killPoints, inACopy, withBackup, withoutBackup);
}

// Each control-panel action killed at each of its operations: the original's bytes survive, and
// an uninstall run afterwards always gets back to them.
TEST(CrashTest, APanelActionKilledAtAnyOperationLeavesAWayBack) {
    // Archives of several chunks, so that kills strike in the middle of their copies.
    const std::string patched = Repeated("patched archive ", 3 << 20);
    const std::string original = Repeated("original archive, the game's own ", 3 << 20);
    struct Case {
        const char* action;
        bool disabled;
    };
    int killPoints = 0, inACopy = 0;
    for (const Case& panelCase : {Case{"uninstall", false}, Case{"uninstall", true},
                                  Case{"disable", false}, Case{"enable", true}}) {
        for (std::uint64_t at = 1;; ++at) {
            testing::TempDir game;
            testing::WriteFile(game / "rev31.gp3", panelCase.disabled ? original : patched);
            testing::WriteFile(game.path() / "Orv_Backup" / "rev31.gp3", original);
            if (panelCase.disabled)
                testing::WriteFile(game.path() / "Orv_Backup" / "rev31.mod", patched);
            const Arguments folder{"--unattended", "--game-dir", HostText(game.path())};
            Arguments action = folder;
            action.insert(action.end(), {"--action", panelCase.action});
            const Exit first = RunKilledAt(at, action);
            SCOPED_TRACE(std::string(panelCase.action) + " killed at operation " +
                         std::to_string(at));
            if (!first.killed) {
                EXPECT_EQ(first.status, 0) << first.output;
                break;
            }
            ++killPoints;
            inACopy += StruckACopy(game.path());
            const bool backup = fs::exists(game.path() / "Orv_Backup");
            const auto content = [](const fs::path& file) {
                return fs::exists(file) ? ReadAll(file) : std::string();
            };
            EXPECT_TRUE(content(game / "rev31.gp3") == original ||
                        content(game.path() / "Orv_Backup" / "rev31.gp3") == original);
            if (!backup) {
                EXPECT_TRUE(content(game / "rev31.gp3") == original);
                continue;
            }
            Arguments uninstall = folder;
            uninstall.insert(uninstall.end(), {"--action", "uninstall"});
            const Exit second = RunProgram(KELMORA_INSTALLER, uninstall);
            EXPECT_EQ(second.status, 0) << second.output;
            EXPECT_TRUE(content(game / "rev31.gp3") == original);
            EXPECT_FALSE(fs::exists(game.path() / "Orv_Backup"));
        }
    }
    std::printf(
        "crash test, control panel: %d kill points over 4 actions (%d while a copy was written "
        "or flushed)\n",
        killPoints, inACopy);
}

}  // namespace
}  // namespace kelmora::reliability
