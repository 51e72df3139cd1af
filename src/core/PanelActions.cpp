#include "core/PanelActions.h"

#include "core/ProgramEnd.h"
#include "platform/FileSystemObject.h"
#include "platform/Folders.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

namespace kelmora {

namespace {

// The places an action works on, all inside the game folder.
struct GameFolderPaths {
    explicit GameFolderPaths(const std::string& gameFolder)
        : gameArchive(JoinPath(gameFolder, "\\rev31.gp3")),
          backupFolder(JoinPath(gameFolder, "\\Orv_Backup")),
          backupArchive(JoinPath(gameFolder, "\\Orv_Backup\\rev31.gp3")),
          parkedArchive(JoinPath(gameFolder, "\\Orv_Backup\\rev31.mod")),
          setAsideArchive(JoinPath(gameFolder, "\\Orv_Backup\\rev31.old")),
          removedFolder(JoinPath(gameFolder, "\\Orv_Backup.removed")) {}

    std::string gameArchive;
    std::string backupFolder;
    std::string backupArchive;
    std::string parkedArchive;
    // Where uninstall keeps the game archive until the original is back in its place.
    std::string setAsideArchive;
    // Where uninstall moves the backup folder before deleting it.
    std::string removedFolder;
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

// Undo steps run when a later step fails, so that a failing action leaves the game folder in the
// state it started from rather than half-way (no game archive, or the patch both parked and
// enabled). They are best effort: the error that stopped the action is the one reported. Also
// used for clean-up after an action has had its effect.
template <typename Undo>
void Undoing(Undo&& undo) {
    try {
        undo();
    } catch (const RuntimeError&) {
    }
}

// The game archive is set aside rather than deleted until the original is in its place and the
// backup folder is gone; a failure on the way puts it back. A set-aside archive left by an
// earlier attempt that stopped is the archive that attempt was removing.
//
// The backup folder leaves in one step, renamed out of the way before it is deleted: a run
// stopped half-way through deleting it could leave the parked patch without the original, and
// the panel would then offer to enable it over the only copy of the original.
void Uninstall(const FileSystemObject& files, const GameFolderPaths& paths) {
    if (files.FileExists(paths.setAsideArchive)) files.deletefile(paths.setAsideArchive, true);
    if (files.FolderExists(paths.removedFolder)) files.deletefolder(paths.removedFolder, true);
    const bool setAside = files.FileExists(paths.gameArchive);
    if (setAside) files.movefile(paths.gameArchive, paths.setAsideArchive);
    try {
        files.copyfile(paths.backupArchive, paths.gameArchive, true);
        RenamePath(paths.backupFolder, paths.removedFolder);
    } catch (const RuntimeError&) {
        // Only while the original is still in the backup may the restored copy go again.
        Undoing([&] {
            if (!setAside || !files.FileExists(paths.backupArchive)) return;
            if (files.FileExists(paths.gameArchive)) files.deletefile(paths.gameArchive, true);
            files.movefile(paths.setAsideArchive, paths.gameArchive);
        });
        throw;
    }
    // The patch is removed now; a folder that cannot be deleted stays out of the program's way.
    Undoing([&] { files.deletefolder(paths.removedFolder, true); });
}

void CarryOut(PanelAction action, const FileSystemObject& files, const GameFolderPaths& paths) {
    switch (action) {
        case PanelAction::kUninstall:
            Uninstall(files, paths);
            return;
        case PanelAction::kDisable:
            files.copyfile(paths.gameArchive, paths.parkedArchive, true);
            try {
                files.copyfile(paths.backupArchive, paths.gameArchive, true);
            } catch (const RuntimeError&) {
                Undoing([&] { files.deletefile(paths.parkedArchive, true); });
                throw;
            }
            return;
        case PanelAction::kEnable:
            DeleteGameArchiveIfPresent(files, paths);
            try {
                files.movefile(paths.parkedArchive, paths.gameArchive);
            } catch (const RuntimeError&) {
                // The deleted game archive was a copy of the backup.
                Undoing([&] { files.copyfile(paths.backupArchive, paths.gameArchive, true); });
                throw;
            }
            return;
    }
}

}  // namespace

bool PanelOffersEnable(const std::string& gameFolder) {
    return FileSystemObject().FileExists(GameFolderPaths(gameFolder).parkedArchive);
}

PanelOutcome RunPanelAction(PanelAction action, const std::string& gameFolder,
                            MessageBoxSeam& messages) {
    const ActionTexts texts = TextsOf(action);
    if (!UserAgrees(texts, messages)) return PanelOutcome::kDeclined;

    const FileSystemObject files;
    const GameFolderPaths paths(gameFolder);
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
