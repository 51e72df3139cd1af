#include <gtest/gtest.h>

#include "GameFolder.h"
#include "panel/PanelActions.h"
#include "platform/PathMapping.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora {
namespace {

using testing::GameFolder;
using testing::kOriginal;
using testing::kPatched;
using testing::ReadFile;
using testing::ScopedPermissions;
using testing::ScriptedMessageBox;

// Runs an action that is expected to complete, and returns the status the program ended with.
int RunToEnd(PanelAction action, const GameFolder& game, ScriptedMessageBox& box) {
    testing::CatchProgramEnd catchEnd;
    try {
        RunPanelAction(action, game.taDir(), box);
    } catch (const ProgramEnded& end) {
        return end.status;
    }
    ADD_FAILURE() << "the action returned instead of ending the program";
    return -1;
}

TEST(PanelActionsTest, NoChangesNothingAndAsksWithTheQuestionIcon) {
    struct Case {
        PanelAction action;
        bool disabled;
        const char* question;
    };
    const Case cases[] = {
        {PanelAction::kUninstall, false, "Are you sure you want to remove Orvald's Kelmora?"},
        {PanelAction::kDisable, false, "Are you sure you want to disable Orvald's Kelmora?"},
        {PanelAction::kEnable, true, "Are you sure you want to enable Orvald's Kelmora?"},
    };
    for (const Case& c : cases) {
        GameFolder game;
        if (c.disabled) game.MakeDisabled();
        const std::string before = game.Snapshot();
        ScriptedMessageBox box;
        box.Answer(MsgAnswer::kNo);

        EXPECT_EQ(RunPanelAction(c.action, game.taDir(), box), PanelOutcome::kDeclined);

        EXPECT_EQ(game.Snapshot(), before);
        ASSERT_EQ(box.shown.size(), 1u);
        EXPECT_EQ(box.shown[0].text, c.question);
        EXPECT_EQ(box.shown[0].title, kAppTitle);
        EXPECT_EQ(box.shown[0].buttons, MsgButtons::kYesNo);
        EXPECT_EQ(box.shown[0].icon, MsgIcon::kQuestion);
    }
}

TEST(PanelActionsTest, ReadOnlyGameArchiveDoesNotStopUninstallOrEnable) {
    GameFolder enabled;
    ScopedPermissions readOnlyPatched(enabled.gameArchive(), testing::kReadOnlyFile);
    ScriptedMessageBox box;
    EXPECT_EQ(RunToEnd(PanelAction::kUninstall, enabled, box), 0);
    EXPECT_EQ(ReadFile(enabled.gameArchive()), kOriginal);
    EXPECT_FALSE(std::filesystem::exists(enabled.backupFolder()));

    GameFolder disabled;
    disabled.MakeDisabled();
    ScopedPermissions readOnlyOriginal(disabled.gameArchive(), testing::kReadOnlyFile);
    EXPECT_EQ(RunToEnd(PanelAction::kEnable, disabled, box), 0);
    EXPECT_EQ(ReadFile(disabled.gameArchive()), kPatched);
    EXPECT_FALSE(std::filesystem::exists(disabled.parkedArchive()));
}

// Uninstall and enable delete the game archive before restoring it, and disable would park the
// patched archive before failing: each must refuse up front when its source is missing.
TEST(PanelActionsTest, MissingSourceChangesNothingAndNamesTheFile) {
    struct Case {
        PanelAction action;
        const char* missing;
    };
    // The enabled state has no parked archive, so enable lacks its source there.
    const Case cases[] = {
        {PanelAction::kUninstall, "\\Orv_Backup\\rev31.gp3"},
        {PanelAction::kDisable, "\\Orv_Backup\\rev31.gp3"},
        {PanelAction::kEnable, "\\Orv_Backup\\rev31.mod"},
    };
    for (const Case& c : cases) {
        GameFolder game;
        if (c.action != PanelAction::kEnable) std::filesystem::remove(game.backupArchive());
        const std::string before = game.Snapshot();
        ScriptedMessageBox box;

        EXPECT_EQ(RunPanelAction(c.action, game.taDir(), box), PanelOutcome::kSourceMissing);

        EXPECT_EQ(game.Snapshot(), before);
        EXPECT_TRUE(std::filesystem::is_directory(game.backupFolder()));
        ASSERT_EQ(box.shown.size(), 2u);
        const Message& report = box.shown[1];
        EXPECT_NE(report.text.find(JoinPath(game.taDir(), c.missing)), std::string::npos)
            << report.text;
        EXPECT_EQ(report.title, kAppTitle);
        EXPECT_EQ(report.icon, MsgIcon::kCritical);
        EXPECT_EQ(report.buttons, MsgButtons::kOk);
    }
}

// A run stopped after the game archive was deleted must not block the next attempt.
TEST(PanelActionsTest, MissingGameArchiveIsRestoredByUninstallAndEnable) {
    ScriptedMessageBox box;
    GameFolder enabled;
    std::filesystem::remove(enabled.gameArchive());
    EXPECT_EQ(RunToEnd(PanelAction::kUninstall, enabled, box), 0);
    EXPECT_EQ(ReadFile(enabled.gameArchive()), kOriginal);
    EXPECT_FALSE(std::filesystem::exists(enabled.backupFolder()));

    GameFolder disabled;
    disabled.MakeDisabled();
    std::filesystem::remove(disabled.gameArchive());
    EXPECT_EQ(RunToEnd(PanelAction::kEnable, disabled, box), 0);
    EXPECT_EQ(ReadFile(disabled.gameArchive()), kPatched);
}

TEST(PanelActionsTest, FailingFileOperationStopsWithoutSuccessAndKeepsTheGameArchive) {
    testing::ScopedPermissionChecks permissionsBind;
    GameFolder readOnlyBackup;
    {
        ScopedPermissions readOnly(readOnlyBackup.backupFolder(), testing::kReadOnlyFolder);
        const std::string before = readOnlyBackup.Snapshot();
        ScriptedMessageBox box;
        EXPECT_THROW(RunPanelAction(PanelAction::kDisable, readOnlyBackup.taDir(), box),
                     RuntimeError);
        EXPECT_EQ(readOnlyBackup.Snapshot(), before);
        EXPECT_EQ(box.shown.size(), 1u) << "only the question, no success message";
    }

    // Disable's second copy fails after the first has parked the patched archive.
    GameFolder unreadableBackup;
    ScopedPermissions noAccess(unreadableBackup.backupArchive(), testing::kNoAccess);
    ScriptedMessageBox box;
    EXPECT_THROW(RunPanelAction(PanelAction::kDisable, unreadableBackup.taDir(), box),
                 RuntimeError);
    EXPECT_EQ(ReadFile(unreadableBackup.gameArchive()), kPatched);
    EXPECT_EQ(ReadFile(unreadableBackup.parkedArchive()), kPatched);
    EXPECT_EQ(box.shown.size(), 1u);
}

}  // namespace
}  // namespace kelmora
