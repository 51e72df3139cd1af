// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PanelActions.h"

#include <exception>
#include <optional>
#include <vector>

#include "core/GameFolderGuard.h"
#include "core/ProgramEnd.h"
#include "hpi/HpiReader.h"
#include "platform/DurableFiles.h"
#include "platform/FileSystemObject.h"
#include "platform/Folders.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"
#include "platform/StopSignals.h"

namespace kelmora {

namespace {

// The places an action works on, all inside the game folder.
struct GameFolderPaths {
    explicit GameFolderPaths(const std::string& gameFolder)
        : gameFolder(gameFolder),
          gameArchive(JoinPath(gameFolder, "\\rev31.gp3")),
          backupFolder(JoinPath(gameFolder, "\\Orv_Backup")),
          backupArchive(JoinPath(gameFolder, "\\Orv_Backup\\rev31.gp3")),
          parkedArchive(JoinPath(gameFolder, "\\Orv_Backup\\rev31.mod")) {}

    std::string gameFolder;
    std::string gameArchive;
    std::string backupFolder;
    std::string backupArchive;
    std::string parkedArchive;
};

struct ActionTexts {
    const char* question;
    const char* success;
    const char* cannot;  // completes "Orvald's Kelmora cannot be ..." when it changes nothing
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
// touching anything: uninstall and enable replace the game archive with it, and disable would
// park the patched archive and then fail, leaving the panel's mode out of step with the game
// archive.
const std::string& SourceOf(PanelAction action, const GameFolderPaths& paths) {
    return action == PanelAction::kEnable ? paths.parkedArchive : paths.backupArchive;
}

bool UserAgrees(const ActionTexts& texts, MessageBoxSeam& messages) {
    Message question{texts.question, kAppTitle, MsgButtons::kYesNo, MsgIcon::kQuestion};
    return messages.Show(question) != MsgAnswer::kNo;
}

void Refuse(const ActionTexts& texts, const std::string& why, const std::string& file,
            MessageBoxSeam& messages) {
    Message report{std::string("Orvald's Kelmora cannot be ") + texts.cannot + " because " + why +
                       ":\r\r" + file + "\r\rNothing has been changed.",
                   kAppTitle, MsgButtons::kOk, MsgIcon::kCritical};
    messages.Show(report);
}

// Why the archive an action restores from is not whole (it does not open, list, or give back every
// file, each chunk checked), or nothing. A file system may have reported done a copy or a rename
// that lost it, and the action would put it in the game archive's place.
std::optional<std::string> Damage(const std::string& archive, const char* name) {
    try {
        const HpiReader reader = HpiReader::Open(HostPath(archive), name);
        for (const HpiEntry& entry : reader.entries()) {
            if (!entry.directory && entry.safe()) reader.Extract(entry, [](auto, auto) {});
        }
        return std::nullopt;
    } catch (const std::exception& error) {
        return error.what();
    }
}

// The files the actions work on, each of which must be there in one spelling only.
std::vector<std::string> TwinsOfActionFiles(const GameFolderPaths& paths) {
    std::vector<std::string> twins = SpellingTwins(paths.gameFolder, "rev31.gp3");
    for (const char* name : {"rev31.gp3", "rev31.mod"}) {
        const std::vector<std::string> more = SpellingTwins(paths.backupFolder, name);
        twins.insert(twins.end(), more.begin(), more.end());
    }
    return twins;
}

// Undo steps run when a later step fails, so that a failing action leaves the game folder in the
// state it started from rather than half-way (the patch both parked and enabled). They are best
// effort: the error that stopped the action is the one reported.
template <typename Undo>
void Undoing(Undo&& undo) {
    try {
        undo();
    } catch (const RuntimeError&) {
    }
}

// Renames the backup folder to a fresh name of ours, which no folder of the player's has.
std::string RenameAway(const GameFolderPaths& paths) {
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        const std::string name = JoinPath(paths.gameFolder, "\\" + TemporaryName("Orv_Backup"));
        try {
            RenamePath(paths.backupFolder, name);
            return name;
        } catch (const RuntimeError& error) {
            if (error.number() != kFileAlreadyExists || attempt == kAttempts) throw;
        }
    }
}

// What is left of a backup folder that could not be deleted, and where, for the player.
std::string LeftoverReport(const std::string& folder, const RuntimeError& error) {
    std::string left;
    for (const std::string& name : FileSystemObject().NamesIn(folder)) left += "\r     " + name;
    return "Orvald's Kelmora has been removed: the game's own rev31.gp3 is back in its place.  Its "
           "backup folder could not be deleted (Error " +
           std::to_string(error.number()) + ": " + error.description() +
           "), and this is left of it:\r\r" + folder + left +
           "\r\rYou may delete that folder yourself.";
}

// Copies the backup over the game archive and reads it back: a file system may report done a copy
// that lost it, and the copy is what the original's last other copy gives way to.
void RestoreOriginal(const FileSystemObject& files, const GameFolderPaths& paths) {
    const ContentDigest copied = files.CopyOver(paths.backupArchive, paths.gameArchive);
    if (files.DigestOf(paths.gameArchive) != copied) {
        throw RuntimeError(kDeviceIOError, ErrorDescription(kDeviceIOError) + ": " +
                                               paths.gameArchive +
                                               " does not hold what was copied");
    }
}

// The original goes back first, in one step: a checked copy renamed over the game archive and on
// the disk before anything else changes, so that the game folder never lacks a rev31.gp3. The
// backup folder then leaves in one step too, renamed out of the way before it is deleted: a run
// stopped half-way through deleting it could otherwise leave the parked patch without the
// original, and the panel would then offer to enable it over the only copy of the original.
// Returns, when the backup folder could not be deleted, the report of what is left.
std::optional<std::string> Uninstall(const FileSystemObject& files, const GameFolderPaths& paths) {
    RestoreOriginal(files, paths);
    std::string left = paths.backupFolder;
    try {
        left = RenameAway(paths);
        files.FlushFolder(paths.gameFolder);
        files.deletefolder(left, true);
        return std::nullopt;
    } catch (const RuntimeError& error) {
        return LeftoverReport(left, error);
    }
}

// The patched archive is parked first (a checked copy, renamed into place and on the disk), then
// the original's copy replaces the game archive in one step.
void Disable(const FileSystemObject& files, const GameFolderPaths& paths) {
    try {
        files.copyfile(paths.gameArchive, paths.parkedArchive, true);
        StopIfRequested();
        RestoreOriginal(files, paths);
    } catch (const RuntimeError&) {
        // Only while the game archive is still the patched one may its parked copy go again.
        Undoing([&] {
            if (!files.SameContent(paths.parkedArchive, paths.gameArchive)) return;
            files.deletefile(paths.parkedArchive, true);
            files.FlushFolder(paths.backupFolder);
        });
        throw;
    }
}

// The parked archive takes the game archive's place in one step; the archive it replaces is a
// copy of the backup.
void Enable(const FileSystemObject& files, const GameFolderPaths& paths) {
    try {
        files.MoveOver(paths.parkedArchive, paths.gameArchive);
    } catch (const RuntimeError&) {
        // Across devices the move copies: the game archive may have become the patched one with
        // the parked archive still there. The original's copy goes back, so that the panel's mode
        // matches the game archive.
        Undoing([&] {
            if (files.FileExists(paths.parkedArchive) &&
                !files.SameContent(paths.gameArchive, paths.backupArchive))
                files.CopyOver(paths.backupArchive, paths.gameArchive);
        });
        throw;
    }
}

}  // namespace

bool PanelOffersEnable(const std::string& gameFolder) {
    return FileSystemObject().FileExists(GameFolderPaths(gameFolder).parkedArchive);
}

PanelOutcome RunPanelAction(PanelAction action, const std::string& gameFolder,
                            MessageBoxSeam& messages) try {
    const ActionTexts texts = TextsOf(action);
    if (!UserAgrees(texts, messages)) return PanelOutcome::kDeclined;

    // The folder as it is spelled on disk for the work, as the player reads it for the texts.
    const GameFolderPaths paths(OnDiskSpelling(gameFolder));
    const GameFolderPaths shown(ShownFolder(paths.gameFolder));
    const std::optional<FolderLock> lock =
        LockGameFolder(paths.gameFolder, shown.gameFolder, texts.cannot, messages);
    if (!lock) return PanelOutcome::kRefused;
    if (const std::vector<std::string> twins = TwinsOfActionFiles(paths); !twins.empty()) {
        ReportSpellingTwins(twins, texts.cannot, messages);
        return PanelOutcome::kRefused;
    }
    const FileSystemObject files;
    if (!files.FileExists(SourceOf(action, paths))) {
        Refuse(texts, "this file is missing", SourceOf(action, shown), messages);
        return PanelOutcome::kSourceMissing;
    }
    // Disabling again would park the original over the patched archive.
    if (action == PanelAction::kDisable && files.FileExists(paths.parkedArchive)) {
        Refuse(texts, "it is disabled already: this file exists", shown.parkedArchive, messages);
        return PanelOutcome::kRefused;
    }
    const bool enable = action == PanelAction::kEnable;
    if (const auto damage = Damage(SourceOf(action, paths), enable ? "rev31.mod" : "rev31.gp3")) {
        Refuse(texts, "this file is not a whole, readable archive (" + *damage + ")",
               SourceOf(action, shown), messages);
        return PanelOutcome::kSourceDamaged;
    }
    const StopOnSignals stopOnSignals;
    files.RemoveTemporaries(paths.gameFolder);
    files.RemoveTemporaries(paths.backupFolder);
    // An install stopped before its end leaves its work folder, as large as the game archive's
    // files; nothing else removes it once the panel is what the program opens.
    files.RemoveIfPresent(JoinPath(paths.gameFolder, "\\Orv_Rev31"));
    StopIfRequested();

    std::optional<std::string> leftover;
    switch (action) {
        case PanelAction::kUninstall:
            leftover = Uninstall(files, paths);
            break;
        case PanelAction::kDisable:
            Disable(files, paths);
            break;
        case PanelAction::kEnable:
            Enable(files, paths);
            break;
    }
    if (leftover) {
        messages.Show(Message{*leftover, kAppTitle, MsgButtons::kOk, MsgIcon::kCritical});
    } else {
        messages.Show(Message{texts.success, kAppTitle, MsgButtons::kOk, MsgIcon::kNone});
    }
    EndProgram(0);
} catch (RuntimeError& error) {
    error.SetPath(ShownPath(error.path(), gameFolder));
    throw;
}

}  // namespace kelmora
