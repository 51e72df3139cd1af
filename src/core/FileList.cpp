// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FileList.h"

#include <filesystem>
#include <system_error>

#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

namespace kelmora {

namespace {

std::vector<std::string> SplitPattern(std::string_view pattern) {
    std::vector<std::string> names;
    while (!pattern.empty()) {
        const std::size_t end = pattern.find(';');
        std::string_view name = pattern.substr(0, end);
        if (!name.empty()) names.emplace_back(name);
        if (end == std::string_view::npos) break;
        pattern.remove_prefix(end + 1);
    }
    return names;
}

// Raises the run-time error that says why `folder` cannot be listed, if it cannot.
void CheckReadableFolder(const std::string& folder) {
    const std::filesystem::path host = HostPath(folder);
    std::error_code error;
    if (!std::filesystem::is_directory(host, error)) throw RuntimeError(kPathNotFound);
    std::filesystem::directory_iterator listing(host, error);
    if (error) throw ErrorFromSystem(error, kPathNotFound);
}

bool IsPlainFile(const std::string& path) {
    try {
        std::error_code error;
        return std::filesystem::is_regular_file(HostPath(path), error);
    } catch (const RuntimeError&) {
        return false;
    }
}

}  // namespace

FileList::FileList(std::string_view pattern)
    : names_(SplitPattern(pattern)), folder_(CurrentFolderText()) {
    Refresh();
}

void FileList::SetFolder(std::string_view folderText) {
    std::string folder = FullPathText(folderText);
    CheckReadableFolder(folder);
    const bool changed = folder != folder_;
    folder_ = std::move(folder);
    Refresh();
    if (changed && folderChanged_) folderChanged_();
}

void FileList::Refresh() {
    std::int16_t count = 0;
    for (const std::string& name : names_) {
        if (IsPlainFile(JoinPath(folder_, "\\" + name))) ++count;
    }
    count_ = count;
}

}  // namespace kelmora
