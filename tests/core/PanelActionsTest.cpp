// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <tuple>

#include "core/PanelActions.h"
#include "platform/DurableFiles.h"
#include "platform/FaultInjection.h"
#include "platform/FolderLock.h"
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

// Every action replaces a read-only game archive (copied from a CD), which stays read-only, and a
// missing one (left by a run that stopped there) does not block uninstall or enable.
TEST(PanelActionsTest, EveryActionReplacesAReadOnlyGameArchiveKeepingItsAttribute) {
    const std::pair<PanelAction, const char*> actions[] = {
        {PanelAction::kUninstall, "original|-|-"},
        {PanelAction::kDisable, "original|original|patched"},
        {PanelAction::kEnable, "patched|original|-"},
    };
    for (const auto& [action, reached] : actions) {
        GameFolder readOnly;
        if (action == PanelAction::kEnable) readOnly.MakeDisabled();
        std::filesystem::permissions(readOnly.gameArchive(), std::filesystem::perms::owner_read);
        EXPECT_EQ(RunToEnd(action, readOnly), 0);
        EXPECT_EQ(readOnly.State(), reached);
        EXPECT_EQ(std::filesystem::status(readOnly.gameArchive()).permissions(),
                  std::filesystem::perms::owner_read)
            << reached;
    }

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

// A source that is missing, or that is not a whole archive (a disk that lost it, a copy cut
// short), changes nothing, and the message names it.
TEST(PanelActionsTest, AMissingOrDamagedSourceChangesNothingAndNamesTheFile) {
    const std::tuple<PanelAction, const char*, std::string> cases[] = {
        {PanelAction::kUninstall, "\\Orv_Backup\\rev31.gp3", "-"},
        {PanelAction::kDisable, "\\Orv_Backup\\rev31.gp3", "-"},
        // The enabled state has no parked archive: enable's source is missing there.
        {PanelAction::kEnable, "\\Orv_Backup\\rev31.mod", "-"},
        {PanelAction::kUninstall, "\\Orv_Backup\\rev31.gp3", ""},
        {PanelAction::kDisable, "\\Orv_Backup\\rev31.gp3", "not an archive"},
        {PanelAction::kEnable, "\\Orv_Backup\\rev31.mod", "cut"},
    };
    for (const auto& [action, source, damage] : cases) {
        GameFolder game;
        if (action == PanelAction::kEnable && damage != "-") game.MakeDisabled();
        const std::filesystem::path file = JoinPath(game.folderText(), source);
        if (damage == "-" && action != PanelAction::kEnable) std::filesystem::remove(file);
        if (damage == "cut")
            std::filesystem::resize_file(file, std::filesystem::file_size(file) - 1);
        if (damage != "-" && damage != "cut") testing::WriteFile(file, damage);
        const std::string before = game.State();
        ScriptedMessageBox box;

        EXPECT_EQ(RunPanelAction(action, game.folderText(), box),
                  damage == "-" ? PanelOutcome::kSourceMissing : PanelOutcome::kSourceDamaged);

        EXPECT_EQ(game.State(), before);
        EXPECT_TRUE(std::filesystem::is_directory(game.backupFolder()));
        ASSERT_EQ(box.shown.size(), 2u);
        EXPECT_NE(box.shown[1].text.find(JoinPath(game.folderText(), source)), std::string::npos);
        EXPECT_NE(box.shown[1].text.find(damage == "-" ? "is missing" : "is not a whole"),
                  std::string::npos)
            << box.shown[1].text;
        EXPECT_EQ(box.shown[1].icon, MsgIcon::kCritical);
        EXPECT_EQ(box.shown[1].title, kAppTitle);
    }
}

// Every action changes nothing, and says why with the stop icon, while another run holds the game
// folder, when an archive it works on is there in two spellings, or (disable) when the patch is
// parked already.
TEST(PanelActionsTest, RefusesBeforeAnyChangeAndSaysWhy) {
    auto refused = [](PanelAction action, const GameFolder& game, const std::string& says) {
        const std::string before = game.State();
        ScriptedMessageBox box;
        EXPECT_EQ(RunPanelAction(action, game.folderText(), box), PanelOutcome::kRefused) << says;
        EXPECT_EQ(game.State(), before) << says;
        ASSERT_EQ(box.shown.size(), 2u) << says;
        EXPECT_NE(box.shown[1].text.find(says), std::string::npos) << box.shown[1].text;
        EXPECT_EQ(box.shown[1].icon, MsgIcon::kCritical);
    };
    for (PanelAction action : {PanelAction::kUninstall, PanelAction::kDisable}) {
        GameFolder game;
        {
            std::optional<FolderLock> other = FolderLock::TryTake(game.folderText());
            refused(action, game, "another run of this program is changing the folder");
        }
        testing::WriteFile(game.gameArchive().parent_path() / "REV31.GP3", "the player's");
        refused(action, game, JoinPath(game.folderText(), "\\REV31.GP3"));
    }
    GameFolder twinParked;
    twinParked.MakeDisabled();
    testing::WriteFile(twinParked.backupFolder() / "Rev31.MOD", "the player's");
    refused(PanelAction::kEnable, twinParked, "Orv_Backup/Rev31.MOD\r");
    GameFolder disabled;
    disabled.MakeDisabled();
    refused(PanelAction::kDisable, disabled, "disabled already");
}

// Uninstall makes its way past a folder of the player's that has the name an earlier version
// used, removes what a stopped run left, and says what it could not delete, and where, instead of
// telling success.
TEST(PanelActionsTest, UninstallKeepsThePlayersFoldersAndReportsWhatItCouldNotDelete) {
    GameFolder game;
    const std::filesystem::path folder = game.gameArchive().parent_path();
    testing::WriteFile(folder / "Orv_Backup.removed" / "mine.txt", "the player's");
    testing::WriteFile(folder / TemporaryName("rev31.gp3"), "part of a copy a stopped run made");
    testing::WriteFile(folder / "Orv_Rev31" / "scripts" / "armcom.cob", "a stopped install's");
    EXPECT_EQ(RunToEnd(PanelAction::kUninstall, game), 0);
    EXPECT_EQ(game.State(), "original|-|-");
    EXPECT_EQ(testing::ReadFile(folder / "Orv_Backup.removed" / "mine.txt"), "the player's");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              2);

    GameFolder stuck;
    stuck.MakeDisabled();
    std::uint64_t deletion = 0;
    faults::Record([&](const faults::Operation& operation) {
        if (operation.op == faults::Op::kDeleteTree) deletion = operation.number;
    });
    EXPECT_EQ(RunToEnd(PanelAction::kUninstall, stuck), 0);
    faults::Disarm();
    ASSERT_GT(deletion, 0u);
    GameFolder again;
    again.MakeDisabled();
    faults::FailAt(deletion, kPermissionDenied);
    ScriptedMessageBox box;
    testing::CatchProgramEnd catchEnd;
    EXPECT_THROW(RunPanelAction(PanelAction::kUninstall, again.folderText(), box), ProgramEnded);
    faults::Disarm();
    EXPECT_EQ(GameFolder::Label(again.gameArchive()), "original");
    ASSERT_EQ(box.shown.size(), 2u);
    const Message& report = box.shown[1];
    EXPECT_EQ(report.icon, MsgIcon::kCritical);
    EXPECT_TRUE(report.text.starts_with("Orvald's Kelmora has been removed")) << report.text;
    EXPECT_NE(report.text.find("(Error 70: Permission denied)"), std::string::npos);
    const std::string where = "this is left of it:\r\r";
    const size_t at = report.text.find(where);
    ASSERT_NE(at, std::string::npos) << report.text;
    const std::string left = report.text.substr(at + where.size());
    const std::string leftFolder = left.substr(0, left.find('\r'));
    EXPECT_EQ(GameFolder::Label(std::filesystem::path(leftFolder) / "rev31.mod"), "patched");
    EXPECT_NE(left.find("\r     rev31.gp3\r     rev31.mod\r"), std::string::npos) << left;
}

}  // namespace
}  // namespace kelmora
