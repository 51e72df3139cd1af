// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kelmora {

// A folder watched for a few file names, never shown: it tells how many of the names are present
// as plain files, and says when it is pointed at another folder. Names match without regard to
// letter case, as the game's file system does, and each name counts once however many spellings
// of it the folder holds.
class FileList {
public:
    // `pattern`: file names separated by ";" ("rev31.gp3;ccdata.ccx;totala1.hpi"). The list starts
    // on the process's current folder.
    explicit FileList(std::string_view pattern);

    // A full path without a trailing separator, except a root.
    const std::string& Folder() const { return folder_; }
    std::int16_t Count() const { return count_; }

    // Points the list at `folderText` and re-reads it; raises a RuntimeError, keeping the folder
    // it had, when that is no folder the list can read.
    void SetFolder(std::string_view folderText);

    // Counts the names in the current folder again.
    void Refresh();

    // Called each time the folder changes, after the list has re-read it.
    void OnFolderChanged(std::function<void()> handler) { folderChanged_ = std::move(handler); }

private:
    std::vector<std::string> names_;
    std::string folder_;
    std::int16_t count_ = 0;
    std::function<void()> folderChanged_;
};

}  // namespace kelmora
