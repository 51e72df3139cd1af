// SPDX-License-Identifier: GPL-3.0-or-later
// Crash consistency: a whole install, and each control-panel action, recorded operation by
// operation; at every step the states a power cut could leave (PowerCut.h) are checked against
// the invariant, and the next start of the program is run on each: it must get back to the
// original (uninstall) or install cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "InstallRun.h"
#include "Invariant.h"
#include "PowerCut.h"
#include "Scenario.h"
#include "core/InterruptedInstall.h"
#include "core/PanelActions.h"
#include "platform/DurableFiles.h"

namespace kelmora::reliability {
namespace {

using State = PowerCutModel::State;

struct Counts {
    int crashPoints = 0;
    int states = 0;
    int recoveries = 0;
    int undone = 0;  // next starts that undid an install that never replaced the archive
};

struct DisarmAtEnd {
    ~DisarmAtEnd() { faults::Disarm(); }
};

// Runs `run` (true when it told success) with the model watching, and gives every distinct state
// a power cut could leave on the way, the final ones last (with whether success was told).
struct Recorded {
    std::vector<State> states;
    std::vector<State> finalStates;
    bool success = false;
    int crashPoints = 0;
};

template <typename Run>
Recorded RecordPowerCuts(PowerCutModel& model, Run&& run) {
    Recorded recorded;
    std::set<State> seen;
    auto note = [&] {
        ++recorded.crashPoints;
        for (State& state : model.AfterPowerCut())
            if (seen.insert(state).second) recorded.states.push_back(std::move(state));
    };
    faults::Record([&](const faults::Operation& operation) {
        note();
        model.Before(operation);
    });
    recorded.success = run();
    faults::Disarm();
    note();
    recorded.finalStates = model.AfterPowerCut();
    return recorded;
}

std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// Whether any component of a path is a temporary name of ours.
bool Temporary(const std::string& path) {
    for (const auto& part : fs::path(path))
        if (IsTemporaryName(part.string())) return true;
    return false;
}

// ---- Install ----

std::string InstallProblems(const PowerCutModel& model, const State& state, const State& before,
                            const std::string& original, bool toldSuccess) {
    std::string problems;
    auto problem = [&](const std::string& text) { problems += "; " + text; };
    const auto archive = model.ContentAt(state, "game/rev31.gp3");
    const auto backup = model.ContentAt(state, "game/Orv_Backup/rev31.gp3");
    if (!archive) return "rev31.gp3 is gone";
    if (*archive != original) {
        if (backup != original) problem("rev31.gp3 was replaced without the original on the disk");
        if (auto why = UnreadableArchive(*archive)) problem("rev31.gp3 is not whole: " + *why);
    }
    if (state.count("game/Orv_Backup") && backup != original)
        problem("a backup folder without the exact original");
    if (toldSuccess) {
        if (*archive == original)
            problem("success was told, but the original is back");
        else if (auto why = NotHolding(*archive, InstalledFiles()))
            problem("success was told, but rev31.gp3 is not what was installed: " + *why);
    }
    for (const auto& [path, content] : before) {
        const bool replaceable = path == "game/rev31.gp3" || path == "package/KELMORA.UFO";
        if (!state.count(path) && path != "package/KELMORA.UFO")
            problem("lost " + path);
        else if (state.count(path) && !replaceable && state.at(path) != content)
            problem("changed " + path);
    }
    for (const auto& [path, content] : state) {
        if (!path.starts_with("game/") && !path.starts_with("package/") && !before.count(path))
            problem("something outside the game and package folders: " + path);
    }
    return problems;
}

TEST(PowerCutTest, AnInstallCutOffAtAnyStepKeepsTheOriginalAndAWayBack) {
    DisarmAtEnd disarm;
    testing::GameSandbox sandbox(GameEntries(), PackageEntries());
    const std::string original = ReadAll(sandbox.GameArchive());
    PowerCutModel model(sandbox.root.path(), {"game", "package"});
    const State before = model.AfterPowerCut().front();
    const Recorded recorded = RecordPowerCuts(model, [&] { return RunInstall(sandbox).success; });
    ASSERT_TRUE(recorded.success);
    EXPECT_EQ(model.problem(), "");

    Counts counts;
    counts.crashPoints = recorded.crashPoints;
    for (const State& state : recorded.states) {
        const bool final = std::find(recorded.finalStates.begin(), recorded.finalStates.end(),
                                     state) != recorded.finalStates.end();
        EXPECT_EQ(InstallProblems(model, state, before, original, final && recorded.success), "");
        ++counts.states;
        // The next start: an install that never replaced the archive is undone; then with a
        // backup folder the control panel's uninstall, else an install.
        testing::TempDir disk;
        model.Materialize(state, disk.path());
        const fs::path game = disk.path() / "game";
        testing::ScriptedMessageBox startMessages;
        counts.undone += UndoInterruptedInstall(game.string(), startMessages);
        if (fs::exists(game / "Orv_Backup")) {
            testing::ScriptedMessageBox messages;
            testing::CatchProgramEnd catchEnd;
            EXPECT_THROW(RunPanelAction(PanelAction::kUninstall, game.string(), messages),
                         ProgramEnded);
            EXPECT_EQ(messages.shown.back().icon, MsgIcon::kNone) << messages.shown.back().text;
            EXPECT_TRUE(ReadAll(game / "rev31.gp3") == original);
        } else {
            InstallerState again{game.string(), (disk.path() / "package").string()};
            testing::ScriptedMessageBox messages;
            testing::RecordingDisplay display;
            InstallPatch(again, display, messages);
            EXPECT_FALSE(again.installFailed);
            EXPECT_EQ(NotHolding(ReadAll(game / "rev31.gp3"), InstalledFiles()), std::nullopt);
            EXPECT_TRUE(ReadAll(game / "Orv_Backup" / "rev31.gp3") == original);
            EXPECT_FALSE(fs::exists(game / "Orv_Rev31"));
        }
        ++counts.recoveries;
    }
    std::printf(
        "power cuts, install: %d crash points, %d distinct states checked, %d next starts "
        "got back to the original or installed (%d of them undid an interrupted install first)\n",
        counts.crashPoints, counts.states, counts.recoveries, counts.undone);
}

// ---- Control panel ----

// rev31.gp3 | Orv_Backup/rev31.gp3 | Orv_Backup/rev31.mod of the game folder in a state.
std::string Shape(const PowerCutModel& model, const State& state, const std::string& original,
                  const std::string& patched) {
    auto name = [&](const char* path) -> std::string {
        const auto content = model.ContentAt(state, std::string("game/") + path);
        if (!content) return "-";
        if (*content == original) return "original";
        if (*content == patched) return "patched";
        return "other (" + std::to_string(content->size()) + " bytes)";
    };
    if (!state.count("game/Orv_Backup")) return name("rev31.gp3") + "|no backup folder";
    return name("rev31.gp3") + "|" + name("Orv_Backup/rev31.gp3") + "|" +
           name("Orv_Backup/rev31.mod");
}

// What the invariant asks of a game folder with the patch installed, after a power cut.
std::string PanelProblems(const std::string& shape, const State& state, bool toldSuccess,
                          const std::string& target) {
    std::string problems;
    auto problem = [&](const std::string& text) { problems += "; " + text; };
    if (!shape.starts_with("original|") && !shape.starts_with("patched|"))
        problem("rev31.gp3 is missing or not whole");
    if (!shape.starts_with("original|") && shape.find("|original|") == std::string::npos)
        problem("the original exists nowhere");
    if (shape.find("|no backup folder") == std::string::npos &&
        shape.find("|original|") == std::string::npos)
        problem("a backup folder without the original");
    if (shape.find("other") != std::string::npos) problem("a part of an archive");
    if (toldSuccess && shape != target) problem("success was told for " + target);
    for (const auto& [path, content] : state) {
        const bool ours = path == "game" || path == "game/rev31.gp3" ||
                          path.starts_with("game/Orv_Backup") || Temporary(path);
        if (!ours) problem("an unexpected " + path);
    }
    return problems;
}

TEST(PowerCutTest, APanelActionCutOffAtAnyStepKeepsTheOriginalAndAWayBack) {
    DisarmAtEnd disarm;
    const std::string original = testing::LabelledArchive("original archive ", 300000);
    const std::string patched = testing::LabelledArchive("patched archive, longer ", 350000);
    struct Case {
        const char* name;
        PanelAction action;
        bool disabled;
        const char* target;
    };
    const Case cases[] = {
        {"uninstall enabled", PanelAction::kUninstall, false, "original|no backup folder"},
        {"uninstall disabled", PanelAction::kUninstall, true, "original|no backup folder"},
        {"disable", PanelAction::kDisable, false, "original|original|patched"},
        {"enable", PanelAction::kEnable, true, "patched|original|-"},
    };
    Counts counts;
    for (const Case& panelCase : cases) {
        SCOPED_TRACE(panelCase.name);
        testing::TempDir root;
        const fs::path game = root / "game";
        testing::WriteFile(game / "rev31.gp3", panelCase.disabled ? original : patched);
        testing::WriteFile(game / "Orv_Backup" / "rev31.gp3", original);
        if (panelCase.disabled) testing::WriteFile(game / "Orv_Backup" / "rev31.mod", patched);
        PowerCutModel model(root.path(), {"game"});
        const Recorded recorded = RecordPowerCuts(model, [&] {
            testing::ScriptedMessageBox messages;
            testing::CatchProgramEnd catchEnd;
            try {
                RunPanelAction(panelCase.action, game.string(), messages);
            } catch (const ProgramEnded&) {
            }
            return messages.shown.back().text.find("successfully") != std::string::npos;
        });
        ASSERT_TRUE(recorded.success);
        EXPECT_EQ(model.problem(), "");
        counts.crashPoints += recorded.crashPoints;
        for (const State& state : recorded.states) {
            const std::string shape = Shape(model, state, original, patched);
            SCOPED_TRACE("state " + shape);
            const bool final = std::find(recorded.finalStates.begin(), recorded.finalStates.end(),
                                         state) != recorded.finalStates.end();
            EXPECT_EQ(PanelProblems(shape, state, final, panelCase.target), "");
            ++counts.states;
            // The next start: the control panel's uninstall gets back to the original and
            // leaves nothing of ours behind.
            testing::TempDir disk;
            model.Materialize(state, disk.path());
            if (!fs::exists(disk / "game" / "Orv_Backup")) continue;
            testing::ScriptedMessageBox messages;
            testing::CatchProgramEnd catchEnd;
            EXPECT_THROW(
                RunPanelAction(PanelAction::kUninstall, (disk / "game").string(), messages),
                ProgramEnded);
            EXPECT_EQ(messages.shown.back().icon, MsgIcon::kNone);
            EXPECT_TRUE(ReadAll(disk / "game" / "rev31.gp3") == original);
            EXPECT_EQ(NamesIn(disk / "game"), std::vector<std::string>{"rev31.gp3"});
            ++counts.recoveries;
        }
    }
    std::printf(
        "power cuts, control panel: %d crash points over 4 actions, %d distinct states checked, "
        "%d next starts uninstalled back to the original\n",
        counts.crashPoints, counts.states, counts.recoveries);
}

}  // namespace
}  // namespace kelmora::reliability
