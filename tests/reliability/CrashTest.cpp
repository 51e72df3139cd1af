// SPDX-License-Identifier: GPL-3.0-or-later
// Kills an unattended install at each of its file operations in turn, checks what it left against
// the invariant, then starts the program again on the same folder: it must install cleanly where
// the game is unpatched (an interrupted install's leftovers undone first), and where the patch is
// in place it must be able to uninstall back to the original. The same with SIGINT, SIGTERM or
// SIGHUP at each operation: the run stops and undoes, or finishes.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <iterator>
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
    int killPoints = 0, inACopy = 0, withBackup = 0, withoutBackup = 0, undone = 0;
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

        // The next start, told no action: it installs into an unpatched game and, where the patch
        // is in place, refuses, naming the actions it allows (status 1).
        const bool backup = fs::exists(sandbox.BackupFolder());
        const Exit second = RunProgram(KELMORA_INSTALLER, Unattended(sandbox));
        SCOPED_TRACE("after a kill at operation " + std::to_string(at) + ":\n" + second.output);
        if (second.status == 1 &&
            second.output.find("the patch is installed in") != std::string::npos) {
            ++withBackup;
            const Exit third = RunProgram(KELMORA_INSTALLER, Unattended(sandbox, "uninstall"));
            EXPECT_EQ(third.status, 0) << third.output;
            EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
            EXPECT_TRUE(testing::ReadFile(sandbox.GameArchive()) == invariant.original())
                << "uninstall after a kill at operation " << at << " did not restore the original";
        } else {
            ++withoutBackup;
            undone += backup;
            EXPECT_EQ(second.status, 0);
            InstallState state{};
            EXPECT_EQ(invariant.Check(true, true, &state), "") << "install after a kill at " << at;
            EXPECT_EQ(state, InstallState::kInstalled);
            EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
        }
    }
    std::printf(
        "crash test: %d kill points (%d while a copy was written or flushed); the next start "
        "found the patch in place and uninstalled %d times, and installed %d times (%d of them "
        "after undoing an interrupted install's backup folder)\n",
        killPoints, inACopy, withBackup, withoutBackup, undone);
}

// A signal at each operation of an install: the run stops at its next step and undoes what it
// made (status 1, the game folder as before, nothing left), or has replaced the archive already
// and finishes (status 0).
TEST(CrashTest, AnInstallSignalledAtAnyOperationStopsAndUndoesOrFinishes) {
#ifdef SIGHUP
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
#else
    const int signals[] = {SIGINT, SIGTERM};
#endif
    int stopped = 0, finished = 0;
    for (std::uint64_t at = 1;; ++at) {
        testing::GameSandbox sandbox(GameEntries(), PackageEntries());
        InstallInvariant invariant(sandbox);
        invariant.ExpectOnSuccess(InstalledFiles());
        const int signal = signals[at % std::size(signals)];
        const Exit run = RunProgram(KELMORA_CRASH_DRIVER, [&] {
            Arguments arguments = Unattended(sandbox);
            arguments.insert(arguments.begin(), std::to_string(at) + ":" + std::to_string(signal));
            return arguments;
        }());
        SCOPED_TRACE("signal " + std::to_string(signal) + " at operation " + std::to_string(at) +
                     ":\n" + run.output);
        ASSERT_FALSE(run.killed);
        InstallState state{};
        EXPECT_EQ(invariant.Check(false, run.status == 0, &state), "");
        EXPECT_EQ(run.status, state == InstallState::kInstalled ? 0 : 1);
        EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
        if (state == InstallState::kAsBefore) {
            ++stopped;
            EXPECT_NE(run.output.find("Error 18: User interrupt occurred."), std::string::npos);
        } else if (++finished == 10) {
            break;
        }
    }
    std::printf(
        "crash test, signals: %d installs stopped and undone, then %d finished (the archive in "
        "place)\n",
        stopped, finished);
}

// Each control-panel action killed at each of its operations: the original's bytes survive, and
// an uninstall run afterwards always gets back to them.
TEST(CrashTest, APanelActionKilledAtAnyOperationLeavesAWayBack) {
    // Archives of several chunks, so that kills strike in the middle of their copies.
    const std::string patched = testing::LabelledArchive("patched archive ", 3 << 20);
    const std::string original =
        testing::LabelledArchive("original archive, the game's own ", 3 << 20);
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
