// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/FileList.h"

namespace kelmora {

// The main window's two folder fields without their widgets: each field points its file list at
// the folder typed into it, and the lists' counts decide whether OK is enabled.
class FolderFields {
public:
    FolderFields();
    FolderFields(const FolderFields&) = delete;
    FolderFields& operator=(const FolderFields&) = delete;

    // The game folder field changed to `text`.
    void GameFolderTextChanged(std::string_view text);
    // The package folder field changed to `text`.
    void PackageFolderTextChanged(std::string_view text);

    // Sets OK from both lists as the game list's rule does; the load step ends with it.
    void CheckAllFiles();

    bool OkEnabled() const { return okEnabled_; }
    // The game files: rev31.gp3, ccdata.ccx and totala1.hpi.
    const FileList& GameFiles() const { return gameFiles_; }
    // The package file: kelmora.ufo.
    const FileList& PackageFile() const { return packageFile_; }

private:
    void CheckPackageFile();

    FileList gameFiles_{"rev31.gp3;ccdata.ccx;totala1.hpi"};
    FileList packageFile_{"kelmora.ufo"};
    bool okEnabled_ = false;
};

// Points `list` at the folder a field holds: its text without leading and trailing spaces, or the
// root of the current drive when that is empty or no folder the list can take. No message: the
// user sees OK stay disabled.
void PointListAtField(FileList& list, std::string_view fieldText);

// The folder the package field starts with: the first of `candidates` that holds KELMORA.UFO, else
// the first. A start from the desktop's menu has the home folder as its current folder, so the
// user's download folder is worth a look too.
std::string FirstFolderHoldingPackage(const std::vector<std::string>& candidates);

}  // namespace kelmora
