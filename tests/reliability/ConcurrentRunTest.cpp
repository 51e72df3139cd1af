// SPDX-License-Identifier: GPL-3.0-or-later
// The real program, run as a player's scripts would run it: two runs on one game folder at once,
// and runs killed at random moments, most of them in the middle of copying an archive.
//
// KELMORA_RACES=N and KELMORA_KILLS=N set the number of trials of each pair of runs and of each
// action killed (default 4 and 6); KELMORA_SEED fixes the random start offsets and kill moments.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Invariant.h"
#include "Scenario.h"
#include "platform/DurableFiles.h"

namespace kelmora::reliability {
namespace {

using Clock = std::chrono::steady_clock;

int Setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

std::mt19937& Random() {
    static std::mt19937 random(static_cast<unsigned>(Setting("KELMORA_SEED", 12)));
    return random;
}

// The installer, started with `arguments`; its output goes to `output`.
class Program {
public:
    Program(const std::vector<std::string>& arguments, const fs::path& output) : output_(output) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv{const_cast<char*>(KELMORA_INSTALLER)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(KELMORA_INSTALLER, argv.data());
        ::_exit(127);
    }

    void Kill() const { ::kill(pid_, SIGKILL); }
    // The exit status, or -1 when it was killed.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Output() const { return testing::ReadFile(output_); }

private:
    fs::path output_;
    pid_t pid_ = -1;
};

std::vector<std::string> Unattended(const testing::GameSandbox& sandbox,
                                    const std::string& action) {
    std::vector<std::string> arguments{"--unattended", "--game-dir", sandbox.gameFolder.string(),
                                       "--package-dir", sandbox.packageFolder.string()};
    if (!action.empty()) arguments.insert(arguments.end(), {"--action", action});
    return arguments;
}

// rev31.gp3 | backup | parked, each "original", "installed", "-" or "other".
std::string Shape(const testing::GameSandbox& sandbox, const std::string& original,
                  const std::string& installed) {
    auto name = [&](const fs::path& file) -> std::string {
        if (!fs::exists(file)) return "-";
        const std::string content = ReadAll(file);
        return content == original ? "original" : content == installed ? "installed" : "other";
    };
    return name(sandbox.GameArchive()) + "|" + name(sandbox.BackupFolder() / "rev31.gp3") + "|" +
           name(sandbox.BackupFolder() / "rev31.mod");
}

// The scenario's package with many more files, so that an install takes long enough for a
// second run to start in the middle of it.
std::vector<ArchiveEntry> BulkyPackage() {
    std::vector<ArchiveEntry> entries = PackageEntries();
    entries.push_back({"rev31.gp3\\bulk", std::nullopt});
    for (int i = 0; i < 600; ++i)
        entries.push_back({"rev31.gp3\\bulk\\file" + std::to_string(i) + ".txt",
                           Repeated("bulk " + std::to_string(i) + " ", 6000)});
    return entries;
}

// The archive a sound install of the scenario writes, made once by installing it (and timed).
std::string InstalledArchive() {
    testing::GameSandbox sandbox(GameEntries(), BulkyPackage());
    Program install(Unattended(sandbox, ""), sandbox.root / "out");
    EXPECT_EQ(install.Wait(), 0) << install.Output();
    return ReadAll(sandbox.GameArchive());
}

struct Race {
    const char* first;    // the action started first ("" for a plain install)
    const char* second;   // the action started a moment later
    bool installedFirst;  // the folder starts installed
};

// The state the runs that told success make of the folder when they run in `order`, or nothing
// when one of them could not have succeeded in that order: the lock lets them run one after the
// other, but either may get it first.
std::optional<std::string> Outcome(std::string state, const std::vector<std::string>& order) {
    const std::string installed = "installed|original|-";
    const std::string removed = "original|-|-";
    for (const std::string& action : order) {
        if (action.empty() && state == removed)
            state = installed;
        else if (action == "uninstall" && state != removed)
            state = removed;
        else if (action == "disable" && state == installed)
            state = "original|original|installed";
        else
            return std::nullopt;
    }
    return state;
}

TEST(ConcurrentRunTest, TwoRunsAtOnceNeverLoseTheOriginalNorTellAFalseSuccess) {
    const int trials = Setting("KELMORA_RACES", 4);
    // Races need no real flushes: on a memory file system where there is one, they take a third
    // of the time.
    const testing::ScopedEnv memory(
        "TMPDIR", fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string());
    const auto start = Clock::now();
    const std::string installed = InstalledArchive();
    // The second run starts while the first runs, or a little after.
    const auto duration =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    const Race races[] = {{"", "uninstall", false},
                          {"", "disable", false},
                          {"", "", false},
                          {"uninstall", "disable", true},
                          {"disable", "uninstall", true}};
    int runs = 0, refusedByTheLock = 0, refusedByTheState = 0, oneAfterTheOther = 0;
    for (const Race& race : races) {
        for (int trial = 0; trial < trials; ++trial) {
            testing::GameSandbox sandbox(GameEntries(), BulkyPackage());
            const std::string original = ReadAll(sandbox.GameArchive());
            if (race.installedFirst) {
                Program install(Unattended(sandbox, ""), sandbox.root / "setup");
                ASSERT_EQ(install.Wait(), 0) << install.Output();
            }
            const std::string before = Shape(sandbox, original, installed);
            Program first(Unattended(sandbox, race.first), sandbox.root / "first");
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<long>(0, duration.count())(Random())));
            Program second(Unattended(sandbox, race.second), sandbox.root / "second");
            const bool firstOk = first.Wait() == 0;
            const bool secondOk = second.Wait() == 0;
            const std::string told = first.Output() + "---\n" + second.Output();
            const std::string after = Shape(sandbox, original, installed);
            SCOPED_TRACE(std::string("'") + race.first + "' and '" + race.second + "' from " +
                         before + " left " + after + ":\n" + told);
            runs += 2;
            if (told.find("another run of this program") != std::string::npos)
                ++refusedByTheLock;
            else if (!firstOk || !secondOk)
                ++refusedByTheState;
            else
                ++oneAfterTheOther;
            EXPECT_TRUE(firstOk || secondOk);
            std::vector<std::string> succeeded;
            if (firstOk) succeeded.push_back(race.first);
            if (secondOk) succeeded.push_back(race.second);
            std::vector<std::string> reversed(succeeded.rbegin(), succeeded.rend());
            EXPECT_TRUE(Outcome(before, succeeded) == after || Outcome(before, reversed) == after);
            EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
        }
    }
    std::printf(
        "two runs at once: %d races, %d runs; the second was refused by the lock %d times, by the "
        "state the first left %d times, and ran after it %d times\n",
        trials * 5, runs, refusedByTheLock, refusedByTheState, oneAfterTheOther);
}

// The time `action` takes on a fresh game folder made by `make`, and ends with `status`.
template <typename Make>
Clock::duration TimeOf(Make&& make, const std::string& action, int status = 0) {
    testing::TempDir root;
    make(root.path());
    const auto start = Clock::now();
    Program run({"--unattended", "--game-dir", (root / "game").string(), "--action", action},
                root / "out");
    EXPECT_EQ(run.Wait(), status) << run.Output();
    return Clock::now() - start;
}

// Control-panel actions on archives large enough that a kill at a random moment lands in the
// middle of a copy more often than not; each is followed by an uninstall that must get back to
// the original and leave nothing behind.
TEST(ConcurrentRunTest, RunsKilledInTheMiddleOfACopyLeaveAWayBack) {
    const int trials = Setting("KELMORA_KILLS", 6);
    const std::string original = testing::LabelledArchive("original archive ", 8 << 20);
    const std::string patched =
        testing::LabelledArchive("patched archive, a little longer ", 9 << 20);
    // A run that refuses at once: the time the program takes to start, before any copy.
    const auto startup = std::chrono::duration_cast<std::chrono::microseconds>(TimeOf(
        [](const fs::path& root) { fs::create_directories(root / "game"); }, "uninstall", 1));
    struct Case {
        const char* action;
        bool disabled;
    };
    int kills = 0, inACopy = 0, finished = 0;
    for (const Case& panelCase : {Case{"uninstall", false}, Case{"uninstall", true},
                                  Case{"disable", false}, Case{"enable", true}}) {
        auto make = [&](const fs::path& root) {
            testing::WriteFile(root / "game" / "rev31.gp3",
                               panelCase.disabled ? original : patched);
            testing::WriteFile(root / "game" / "Orv_Backup" / "rev31.gp3", original);
            if (panelCase.disabled)
                testing::WriteFile(root / "game" / "Orv_Backup" / "rev31.mod", patched);
        };
        // Kills fall between the start and the end of a run; a run that ends before its kill
        // brings the end in for the next.
        auto duration =
            std::chrono::duration_cast<std::chrono::microseconds>(TimeOf(make, panelCase.action));
        for (int trial = 0; trial < trials; ++trial) {
            testing::TempDir root;
            make(root.path());
            const fs::path game = root / "game";
            const auto delay = std::chrono::microseconds(std::uniform_int_distribution<long>(
                startup.count(), std::max(startup.count(), duration.count()))(Random()));
            Program run({"--unattended", "--game-dir", game.string(), "--action", panelCase.action},
                        root / "out");
            std::this_thread::sleep_for(delay);
            run.Kill();
            const bool killed = run.Wait() < 0;
            SCOPED_TRACE(std::string(panelCase.action) + " killed after " +
                         std::to_string(delay.count()) + " us");
            (killed ? kills : finished)++;
            if (!killed) duration = std::max(startup, delay);
            // A temporary file of ours left: the kill struck while a copy was written or flushed.
            for (const auto& entry : fs::recursive_directory_iterator(game)) {
                if (IsTemporaryName(entry.path().filename().string()) && entry.is_regular_file()) {
                    ++inACopy;
                    break;
                }
            }
            const auto content = [](const fs::path& file) {
                return fs::exists(file) ? ReadAll(file) : std::string("-");
            };
            const std::string archive = content(game / "rev31.gp3");
            EXPECT_TRUE(archive == original || archive == patched) << archive.size() << " bytes";
            EXPECT_TRUE(archive == original ||
                        content(game / "Orv_Backup" / "rev31.gp3") == original);
            const std::string parked = content(game / "Orv_Backup" / "rev31.mod");
            EXPECT_TRUE(parked == "-" || parked == patched) << parked.size() << " bytes";
            if (!fs::exists(game / "Orv_Backup")) continue;
            Program uninstall(
                {"--unattended", "--game-dir", game.string(), "--action", "uninstall"},
                root / "again");
            EXPECT_EQ(uninstall.Wait(), 0) << uninstall.Output();
            EXPECT_TRUE(content(game / "rev31.gp3") == original);
            EXPECT_EQ(std::distance(fs::directory_iterator(game), fs::directory_iterator()), 1);
        }
    }
    std::printf(
        "kills: %d runs killed at a random moment (%d of them while a copy was written or "
        "flushed), %d finished first; every uninstall after them got back to the original\n",
        kills, inACopy, finished);
}

}  // namespace
}  // namespace kelmora::reliability
