// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/InterruptedInstall.h"

#include <optional>
#include <vector>

#include "platform/DurableFiles.h"
#include "platform/FileSystemObject.h"
#include "platform/FolderLock.h"
#include "platform/Folders.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

namespace kelmora {

namespace {

// What an install leaves in the game folder while it runs: its work folder and temporary files.
std::vector<std::string> RunLeftovers(const FileSystemObject& files, const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& name : files.NamesIn(folder)) {
        if (LowerCase(name) == "orv_rev31" || IsTemporaryName(name)) names.push_back(name);
    }
    return names;
}

// Whether the backup folder holds the backup and nothing of anyone else's.
bool HoldsOnlyTheBackup(const FileSystemObject& files, const std::string& backupFolder) {
    bool backup = false;
    for (const std::string& name : files.NamesIn(backupFolder)) {
        if (LowerCase(name) == "rev31.gp3")
            backup = true;
        else if (!IsTemporaryName(name))
            return false;
    }
    return backup;
}

}  // namespace

bool UndoInterruptedInstall(const std::string& folder, MessageBoxSeam& messages) {
    const std::string gameFolder = OnDiskSpelling(folder);
    const std::string backupFolder = JoinPath(gameFolder, "\\Orv_Backup");
    const FileSystemObject files;
    if (!files.FolderExists(backupFolder)) return false;
    // A run at work looks just the same: the folder is looked at only under its lock.
    const std::optional<FolderLock> lock = [&]() -> std::optional<FolderLock> {
        try {
            return FolderLock::TryTake(gameFolder);
        } catch (const RuntimeError&) {
            return std::nullopt;
        }
    }();
    if (!lock) return false;
    const std::vector<std::string> leftovers = RunLeftovers(files, gameFolder);
    if (leftovers.empty() || !HoldsOnlyTheBackup(files, backupFolder) ||
        !files.SameContent(JoinPath(gameFolder, "\\rev31.gp3"),
                           JoinPath(backupFolder, "\\rev31.gp3")))
        return false;
    try {
        // Renamed away first: a stop half-way through leaves leftovers an install clears, never a
        // backup folder that has lost its copy.
        const std::string aside = TemporaryName("Orv_Backup");
        RenamePath(backupFolder, JoinPath(gameFolder, "\\" + aside));
        files.FlushFolder(gameFolder);
        for (const std::string& name : leftovers)
            files.RemoveIfPresent(JoinPath(gameFolder, "\\" + name));
        files.RemoveIfPresent(JoinPath(gameFolder, "\\" + aside));
    } catch (const RuntimeError&) {
        // What is left is the install's to clear, or (the backup folder still there) the panel's.
        if (files.FolderExists(backupFolder)) return false;
    }
    std::string removed = "\r     Orv_Backup";
    for (const std::string& name : leftovers) removed += "\r     " + name;
    messages.Show(
        Message{"An earlier installation of Orvald's Kelmora was stopped before it "
                "changed rev31.gp3.  The game is as it was before, and what that "
                "installation left in\r\r" +
                ShownFolder(gameFolder) + "\r\rhas been removed:\r" + removed});
    return true;
}

}  // namespace kelmora
