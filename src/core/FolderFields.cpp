// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FolderFields.h"

#include "platform/FileSystemObject.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

namespace kelmora {

namespace {

constexpr std::string_view kDriveRoot = "\\";

std::string_view TrimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

void PointListAtField(FileList& list, std::string_view fieldText) {
    const std::string_view folder = TrimSpaces(fieldText);
    if (!folder.empty()) {
        try {
            list.SetFolder(folder);
            return;
        } catch (const RuntimeError&) {
            // Falls back to the drive root below; a failure there is not trapped.
        }
    }
    list.SetFolder(kDriveRoot);
}

FolderFields::FolderFields() {
    gameFiles_.OnFolderChanged([this] { CheckAllFiles(); });
    packageFile_.OnFolderChanged([this] { CheckPackageFile(); });
}

void FolderFields::GameFolderTextChanged(std::string_view text) {
    PointListAtField(gameFiles_, text);
}

void FolderFields::PackageFolderTextChanged(std::string_view text) {
    PointListAtField(packageFile_, text);
}

void FolderFields::CheckAllFiles() {
    okEnabled_ = gameFiles_.Count() >= 3 && packageFile_.Count() >= 1;
}

// A new package folder asks for only one of the game files, where the game list asks for all
// three; a missing one stops the install at its version check, before anything changes.
void FolderFields::CheckPackageFile() {
    okEnabled_ = gameFiles_.Count() >= 1 && packageFile_.Count() >= 1;
}

std::string FirstFolderHoldingPackage(const std::vector<std::string>& candidates) {
    const FileSystemObject files;
    for (const std::string& folder : candidates) {
        if (files.FileExists(JoinPath(folder, "\\KELMORA.UFO"))) return folder;
    }
    return candidates.empty() ? std::string() : candidates.front();
}

}  // namespace kelmora
