// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Folders.h"

#include <filesystem>
#include <system_error>

#include "platform/DurableFiles.h"
#include "platform/FaultInjection.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#endif

namespace kelmora {
namespace fs = std::filesystem;

namespace {

// vbReadOnly, kHiddenAttribute, vbSystem and vbArchive: the attributes a program may set.
constexpr int kSettableAttributes = 0x01 | kHiddenAttribute | 0x04 | 0x20;

}  // namespace

void CreateFolder(const std::string& path) try {
    fs::path host = HostPath(path);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(host, ec))) throw RuntimeError(kPathFileAccessError);
    if (!fs::is_directory(fs::status(host.parent_path(), ec))) throw RuntimeError(kPathNotFound);
    faults::CheckRuntime(faults::Op::kCreateFolder, host);
    bool created = fs::create_directory(host, ec);
    if (ec && ec != std::errc::file_exists) throw ErrorFromSystem(ec, kPathFileAccessError);
    if (!created) throw RuntimeError(kPathFileAccessError);
} catch (RuntimeError& error) {
    NamePath(error, path);
    throw;
}

void SetFolderAttributes(const std::string& path, int attributes) try {
    if ((attributes & ~kSettableAttributes) != 0) throw RuntimeError(kInvalidArgument);
    fs::path host = HostPath(path);
    std::error_code ec;
    if (!fs::exists(fs::status(host, ec))) throw RuntimeError(kPathNotFound);
    faults::CheckRuntime(faults::Op::kSetAttributes, host);
#ifdef _WIN32
    DWORD value =
        attributes == kNormalAttribute ? FILE_ATTRIBUTE_NORMAL : static_cast<DWORD>(attributes);
    if (!SetFileAttributesW(host.c_str(), value)) {
        throw ErrorFromSystem(
            std::error_code(static_cast<int>(GetLastError()), std::system_category()),
            kPathFileAccessError);
    }
#endif
} catch (RuntimeError& error) {
    NamePath(error, path);
    throw;
}

void RenamePath(const std::string& oldPath, const std::string& newPath) try {
    fs::path from = HostPath(oldPath);
    fs::path to = HostPath(newPath);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(from, ec))) throw RuntimeError(kFileNotFound);
    if (fs::exists(fs::symlink_status(to, ec))) throw RuntimeError(kFileAlreadyExists);
    if (!fs::is_directory(fs::status(to.parent_path(), ec))) throw RuntimeError(kPathNotFound);
    // Written through to the disk on Windows, as every rename of ours.
    if (std::error_code error = RenameOver(from, to))
        throw ErrorFromSystem(error, kPathFileAccessError);
} catch (RuntimeError& error) {
    NamePath(error, error.number() == kFileNotFound ? oldPath : newPath);
    throw;
}

}  // namespace kelmora
