#include "panel/PanelActions.h"

#include "app/ProgramEnd.h"
#include "platform/FileSystemObject.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

namespace kelmora {

namespace {

// The places an action works on, all inside the game folder.
struct GameFolderPaths {
    explicit GameFolderPaths(const std::string& taDir)
        : gameArchive(JoinPath(taDir, "\\rev31.gp3")),
          backupFolder(JoinPath(taDir, "\\Orv_Backup")),
          backupArchive(JoinPath(taDir, "\\Orv_Backup\\rev31.gp3")),
          parkedArchive(JoinPath(taDir, "\\Orv_Backup\\rev31.mod")) {}

    std::string gameArchive;
    std::string backupFolder;
    std::string backupArchive;
    std::string parkedArchive;
};

struct ActionTexts {
    const char* question;
    const char* success;
    const char* cannot;  // completes "Orvald's Kelmora cannot be ..." when its source is missing
};

ActionTexts TextsOf(PanelAction action) {
    switch (action) {
        case PanelAction::kUninstall:
            return {"Are you sure you want to remove Orvald's Kelmora?",
                    "Uninstallation successful.  Orvald's Kelmora has been successfully removed "
                    "from your system.",
                    "removed"};
        case PanelAction::kDisable:
            return {"Are you sure you want to disable Orvald's Kelmora?",
                    "Orvald's Kelmora has been successfully disabled.", "disabled"};
        case PanelAction::kEnable:
            return {"Are you sure you want to enable Orvald's Kelmora?",
                    "Orvald's Kelmora has been successfully enabled.", "enabled"};
    }
    throw RuntimeError(kInvalidArgument);
}

// The file an action copies or moves into the game archive. Every action checks it before
// touching anything: uninstall and enable delete the game archive first, and disable would park
// the patched archive and then fail, leaving the panel's mode out of step with the game archive.
const std::string& SourceOf(PanelAction action, const GameFolderPaths& paths) {
    return action == PanelAction::kEnable ? paths.parkedArchive : paths.backupArchive;
}

bool UserAgrees(const ActionTexts& texts, MessageBoxSeam& messages) {
    Message question{texts.question, kAppTitle, MsgButtons::kYesNo, MsgIcon::kQuestion};
    return messages.Show(question) != MsgAnswer::kNo;
}

void ReportMissingSource(const ActionTexts& texts, const std::string& source,
                         MessageBoxSeam& messages) {
    Message report{std::string("Orvald's Kelmora cannot be ") + texts.cannot +
                       " because this file is missing:\r\r" + source +
                       "\r\rNothing has been changed.",
                   kAppTitle, MsgButtons::kOk, MsgIcon::kCritical};
    messages.Show(report);
}

// An earlier run that stopped after deleting the game archive leaves it missing; deleting it
// again would fail, and the player could never finish the action from the panel.
void DeleteGameArchiveIfPresent(const FileSystemObject& files, const GameFolderPaths& paths) {
    if (files.FileExists(paths.gameArchive)) files.deletefile(paths.gameArchive, true);
}

void CarryOut(PanelAction action, const FileSystemObject& files, const GameFolderPaths& paths) {
    switch (action) {
        case PanelAction::kUninstall:
            DeleteGameArchiveIfPresent(files, paths);
            files.copyfile(paths.backupArchive, paths.gameArchive, true);
            files.deletefolder(paths.backupFolder, true);
            return;
        case PanelAction::kDisable:
            files.copyfile(paths.gameArchive, paths.parkedArchive, true);
            files.copyfile(paths.backupArchive, paths.gameArchive, true);
            return;
        case PanelAction::kEnable:
            DeleteGameArchiveIfPresent(files, paths);
            files.movefile(paths.parkedArchive, paths.gameArchive);
            return;
    }
}

}  // namespace

bool PanelOffersEnable(const std::string& taDir) {
    return FileSystemObject().FileExists(GameFolderPaths(taDir).parkedArchive);
}

PanelOutcome RunPanelAction(PanelAction action, const std::string& taDir,
                            MessageBoxSeam& messages) {
    const ActionTexts texts = TextsOf(action);
    if (!UserAgrees(texts, messages)) return PanelOutcome::kDeclined;

    const FileSystemObject files;
    const GameFolderPaths paths(taDir);
    const std::string& source = SourceOf(action, paths);
    if (!files.FileExists(source)) {
        ReportMissingSource(texts, source, messages);
        return PanelOutcome::kSourceMissing;
    }
    CarryOut(action, files, paths);
    messages.Show(Message{texts.success, kAppTitle, MsgButtons::kOk, MsgIcon::kNone});
    EndProgram(0);
}

}  // namespace kelmora
