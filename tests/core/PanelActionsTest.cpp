#include <gtest/gtest.h>

#include "core/PanelActions.h"
#include "platform/PathMapping.h"
#include "support/GameFolder.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora {
namespace {

using testing::GameFolder;
using testing::ScriptedMessageBox;

// Runs an action that should complete; the status the program ended with, or -1.
int RunToEnd(PanelAction action, const GameFolder& game) {
    ScriptedMessageBox box;
    testing::CatchProgramEnd catchEnd;
    try {
        RunPanelAction(action, game.folderText(), box);
    } catch (const ProgramEnded& end) {
        return end.status;
    }
    return -1;
}

TEST(PanelActionsTest, NoChangesNothing) {
    GameFolder game;
    ScriptedMessageBox box;
    box.Answer(MsgAnswer::kNo);
    EXPECT_EQ(RunPanelAction(PanelAction::kUninstall, game.folderText(), box),
              PanelOutcome::kDeclined);
    EXPECT_EQ(game.State(), "patched|original|-");
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, "Are you sure you want to remove Orvald's Kelmora?");
    EXPECT_EQ(box.shown[0].buttons, MsgButtons::kYesNo);
    EXPECT_EQ(box.shown[0].icon, MsgIcon::kQuestion);
}

// Both delete the game archive before they restore it: read-only must not stop them, and a
// missing one (left by a run that stopped there) must not block the next attempt.
TEST(PanelActionsTest, UninstallAndEnableReplaceAReadOnlyOrMissingGameArchive) {
    GameFolder readOnly;
    std::filesystem::permissions(readOnly.gameArchive(), std::filesystem::perms::owner_read);
    EXPECT_EQ(RunToEnd(PanelAction::kUninstall, readOnly), 0);
    EXPECT_EQ(readOnly.State(), "original|-|-");

    GameFolder readOnlyDisabled;
    readOnlyDisabled.MakeDisabled();
    std::filesystem::permissions(readOnlyDisabled.gameArchive(),
                                 std::filesystem::perms::owner_read);
    EXPECT_EQ(RunToEnd(PanelAction::kEnable, readOnlyDisabled), 0);
    EXPECT_EQ(readOnlyDisabled.State(), "patched|original|-");

    GameFolder missing;
    std::filesystem::remove(missing.gameArchive());
    EXPECT_EQ(RunToEnd(PanelAction::kUninstall, missing), 0);
    EXPECT_EQ(missing.State(), "original|-|-");

    GameFolder missingDisabled;
    missingDisabled.MakeDisabled();
    std::filesystem::remove(missingDisabled.gameArchive());
    EXPECT_EQ(RunToEnd(PanelAction::kEnable, missingDisabled), 0);
    EXPECT_EQ(missingDisabled.State(), "patched|original|-");
}

TEST(PanelActionsTest, MissingSourceChangesNothingAndNamesTheFile) {
    // The enabled state has no parked archive: enable's source is missing there.
    const std::pair<PanelAction, const char*> cases[] = {
        {PanelAction::kUninstall, "\\Orv_Backup\\rev31.gp3"},
        {PanelAction::kDisable, "\\Orv_Backup\\rev31.gp3"},
        {PanelAction::kEnable, "\\Orv_Backup\\rev31.mod"},
    };
    for (const auto& [action, missing] : cases) {
        GameFolder game;
        if (action != PanelAction::kEnable) std::filesystem::remove(game.backupArchive());
        const std::string before = game.State();
        ScriptedMessageBox box;

        EXPECT_EQ(RunPanelAction(action, game.folderText(), box), PanelOutcome::kSourceMissing);

        EXPECT_EQ(game.State(), before);
        EXPECT_TRUE(std::filesystem::is_directory(game.backupFolder()));
        ASSERT_EQ(box.shown.size(), 2u);
        EXPECT_NE(box.shown[1].text.find(JoinPath(game.folderText(), missing)), std::string::npos);
        EXPECT_EQ(box.shown[1].icon, MsgIcon::kCritical);
        EXPECT_EQ(box.shown[1].title, kAppTitle);
    }
}

}  // namespace
}  // namespace kelmora
