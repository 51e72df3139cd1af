// SPDX-License-Identifier: GPL-3.0-or-later
// Makes each file operation of a whole install, and of each control-panel action, fail in turn
// with a full disk, a refused access and a device error, and checks after every run that the game
// folder is in an allowed state.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "InstallRun.h"
#include "Invariant.h"
#include "PanelRun.h"
#include "Scenario.h"
#include "core/InstallerState.h"
#include "core/PanelActions.h"
#include "core/PatchInstall.h"
#include "platform/FaultInjection.h"
#include "platform/RuntimeError.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora::reliability {
namespace {

constexpr int kInjectedErrors[] = {kDiskFull, kPermissionDenied, kDeviceIOError};

// Disarms the seam whatever way a test leaves.
struct DisarmAtEnd {
    ~DisarmAtEnd() { faults::Disarm(); }
};

TEST(FaultSweepTest, EveryFailingOperationOfAnInstallLeavesTheGameFolderSafe) {
    DisarmAtEnd disarm;
    std::uint64_t operations = 0;
    {
        testing::GameSandbox sandbox(GameEntries(), PackageEntries());
        InstallInvariant invariant(sandbox);
        invariant.ExpectOnSuccess(InstalledFiles());
        faults::Count();
        const InstallResult result = RunInstall(sandbox);
        operations = faults::Operations();
        faults::Disarm();
        ASSERT_TRUE(result.success);
        InstallState state{};
        EXPECT_EQ(invariant.Check(false, true, &state), "");
        EXPECT_EQ(state, InstallState::kInstalled);
    }
    ASSERT_GT(operations, 20u);

    int injected = 0, installed = 0, asBefore = 0, honestFailures = 0;
    std::set<std::string> toldSuccessAfter;
    for (int error : kInjectedErrors) {
        for (std::uint64_t at = 1; at <= operations; ++at) {
            testing::GameSandbox sandbox(GameEntries(), PackageEntries());
            InstallInvariant invariant(sandbox);
            invariant.ExpectOnSuccess(InstalledFiles());
            faults::FailAt(at, error);
            const InstallResult result = RunInstall(sandbox);
            const std::string struck = faults::Struck();
            faults::Disarm();
            ASSERT_FALSE(struck.empty()) << "operation " << at << " was not reached";
            ++injected;
            InstallState state{};
            const std::string problems = invariant.Check(false, result.success, &state);
            EXPECT_EQ(problems, "")
                << "error " << error << " at operation " << at << " (" << struck << ")";
            // Whatever failed was said: an error message, the failure outcome, or what a success
            // left behind.
            EXPECT_TRUE(!result.success || !result.shown.empty() || !result.leftBehind.empty())
                << "silent failure at " << struck;
            (state == InstallState::kInstalled ? installed : asBefore)++;
            if (!result.success) ++honestFailures;
            // A run that still tells success failed in a step after which the install is whole.
            if (result.success)
                toldSuccessAfter.insert(struck.substr(struck.find_last_of("/\\") + 1));
        }
    }
    std::printf(
        "fault sweep, install: %llu operations x 3 errors = %d faults injected; %d left the "
        "game installed, %d as before; %d runs told failure\n",
        static_cast<unsigned long long>(operations), injected, installed, asBefore, honestFailures);
    std::string after;
    for (const std::string& what : toldSuccessAfter) after += " '" + what + "'";
    std::printf("fault sweep, install: success was told after a failure to handle only:%s\n",
                after.c_str());
    RecordProperty("faults_injected", injected);
}

// ---- Control panel ----

const PanelArchives kArchives{testing::LabelledArchive("original archive"),
                              testing::LabelledArchive("patched archive")};

struct PanelCase {
    const char* name;
    PanelAction action;
    bool startDisabled;
    std::string target;
};

TEST(FaultSweepTest, EveryFailingOperationOfAPanelActionEndsInAStateOfThePatch) {
    DisarmAtEnd disarm;
    const PanelCase cases[] = {
        {"uninstall enabled", PanelAction::kUninstall, false, kRemoved},
        {"uninstall disabled", PanelAction::kUninstall, true, kRemoved},
        {"disable", PanelAction::kDisable, false, kDisabled},
        {"enable", PanelAction::kEnable, true, kEnabled},
    };
    int injected = 0, toStart = 0, toTarget = 0, afterFlush = 0, leftovers = 0;
    for (const PanelCase& panelCase : cases) {
        const std::string start = panelCase.startDisabled ? kDisabled : kEnabled;
        std::uint64_t operations = 0;
        {
            testing::TempDir root;
            MakeGameFolder(root.path(), panelCase.startDisabled, kArchives);
            faults::Count();
            EXPECT_TRUE(RunAction(panelCase.action, root.path()).success) << panelCase.name;
            operations = faults::Operations();
            faults::Disarm();
            EXPECT_EQ(PanelState(root.path(), kArchives), panelCase.target) << panelCase.name;
        }
        ASSERT_GT(operations, 0u) << panelCase.name;
        for (int error : kInjectedErrors) {
            for (std::uint64_t at = 1; at <= operations; ++at) {
                testing::TempDir root;
                MakeGameFolder(root.path(), panelCase.startDisabled, kArchives);
                faults::FailAt(at, error);
                const ActionResult result = RunAction(panelCase.action, root.path());
                const std::string struck = faults::Struck();
                faults::Disarm();
                ASSERT_FALSE(struck.empty());
                ++injected;
                const std::string state = PanelState(root.path(), kArchives);
                SCOPED_TRACE(std::string(panelCase.name) + ": error " + std::to_string(error) +
                             " at " + struck + " left " + state);
                if (result.success) {
                    EXPECT_EQ(state, panelCase.target);
                    ++toTarget;
                } else if (!result.leftover.empty()) {
                    // The original is back; what could not be deleted is named, where it is.
                    EXPECT_EQ(panelCase.action, PanelAction::kUninstall);
                    EXPECT_EQ(testing::ReadFile(root.path() / "rev31.gp3"), kArchives.original);
                    EXPECT_TRUE(fs::exists(result.leftover));
                    ++leftovers;
                } else if (state != start) {
                    // Only a flush or a read-back that failed after its rename may leave another
                    // state.
                    EXPECT_TRUE((struck.starts_with("flush") || struck.starts_with("read")) &&
                                Safe(state));
                    ++afterFlush;
                } else {
                    ++toStart;
                }
                // Nothing but the archives, and a reported leftover, is left behind.
                for (const auto& entry : fs::recursive_directory_iterator(root.path())) {
                    const std::string name = entry.path().filename().string();
                    if (!result.leftover.empty() &&
                        entry.path().string().starts_with(result.leftover))
                        continue;
                    EXPECT_TRUE(name == "rev31.gp3" || name == "rev31.mod" || name == "Orv_Backup")
                        << "left " << entry.path();
                }
            }
        }
    }
    std::printf(
        "fault sweep, control panel: %d faults injected over 4 actions; %d told failure and left "
        "the start, %d told success, %d reported a backup folder left over, %d failed in a flush "
        "after the change\n",
        injected, toStart, toTarget, leftovers, afterFlush);
}

// ---- A disk that lies ----

// The renames of a run whose destination's path holds `part`.
template <typename Run>
std::vector<std::uint64_t> RenamesInto(const std::string& part, Run&& run) {
    std::vector<std::uint64_t> renames;
    faults::Record([&](const faults::Operation& operation) {
        if (operation.op == faults::Op::kRename &&
            operation.path.string().find(part) != std::string::npos)
            renames.push_back(operation.number);
    });
    run();
    faults::Disarm();
    return renames;
}

// A file system that reports a rename done and loses what it moved (a FAT disk through FUSE does
// so with a folder), at every rename by which the install makes its backup and by which uninstall
// and disable put the original over rev31.gp3. What is read back stops the run before the only
// other copy of the original goes: the install ends as before, the panel with the backup kept.
TEST(FaultSweepTest, ARenameTheDiskLiesAboutNeverCostsTheOriginal) {
    DisarmAtEnd disarm;
    const testing::GameSandbox counted(GameEntries(), PackageEntries());
    const std::vector<std::uint64_t> installRenames =
        RenamesInto("Orv_Backup", [&] { RunInstall(counted); });
    EXPECT_EQ(installRenames.size(), 2u);
    for (std::uint64_t at : installRenames) {
        testing::GameSandbox sandbox(GameEntries(), PackageEntries());
        InstallInvariant invariant(sandbox);
        faults::LieAt(at);
        const InstallResult result = RunInstall(sandbox);
        faults::Disarm();
        InstallState state{};
        EXPECT_EQ(invariant.Check(false, result.success, &state), "") << "lie at " << at;
        EXPECT_EQ(state, InstallState::kAsBefore);
        ASSERT_EQ(result.shown.size(), 1u);
        EXPECT_NE(result.shown[0].text.find("the backup "), std::string::npos);
    }
    int panelLies = 0;
    for (PanelAction action : {PanelAction::kUninstall, PanelAction::kDisable}) {
        testing::TempDir countedRoot;
        MakeGameFolder(countedRoot.path(), false, kArchives);
        for (std::uint64_t at :
             RenamesInto("rev31.gp3", [&] { RunAction(action, countedRoot.path()); })) {
            testing::TempDir root;
            MakeGameFolder(root.path(), false, kArchives);
            faults::LieAt(at);
            const ActionResult result = RunAction(action, root.path());
            faults::Disarm();
            ++panelLies;
            EXPECT_EQ(result.error, kDeviceIOError);
            EXPECT_TRUE(testing::ReadFile(root.path() / "Orv_Backup" / "rev31.gp3") ==
                        kArchives.original);
        }
    }
    std::printf(
        "lying disk: %zu renames of the install's backup and %d of the panel's restores lied "
        "about; every install ended as before, every restore failed with the backup kept\n",
        installRenames.size(), panelLies);
}

}  // namespace
}  // namespace kelmora::reliability
