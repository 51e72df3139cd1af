// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystemObject.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

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

// Windows refuses to delete a read-only file; POSIX asks only the file's folder.
#ifdef _WIN32
constexpr bool kReadOnlyFilesResistDeletion = true;
#else
constexpr bool kReadOnlyFilesResistDeletion = false;
#endif

bool EndsWithSeparator(std::string_view text) {
    return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

fs::file_status StatusOf(const fs::path& path) {
    std::error_code ignored;
    return fs::status(path, ignored);
}

bool IsPresent(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// Read-only as Wine maps it to the Windows attribute: the owner may not write.
bool IsReadOnly(const fs::file_status& status) {
    return (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

// A text that cannot be mapped (no path, unknown drive) names nothing that exists.
std::optional<fs::path> TryHostPath(const std::string& text) {
    try {
        return HostPath(text);
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
}

bool FolderOfExists(const fs::path& path) {
    return fs::is_directory(StatusOf(path.parent_path()));
}

// The host file an existing-file argument names: 76 when its folder is missing, 53 when the
// file is.
fs::path ExistingFile(const std::string& text) {
    fs::path host = HostPath(text);
    if (fs::is_regular_file(StatusOf(host))) return host;
    if (!FolderOfExists(host)) throw RuntimeError(kPathNotFound);
    throw RuntimeError(kFileNotFound);
}

// The target of a copy or move. A text ending in a separator names a folder, and the file
// keeps the name it has on disk; either way the target's folder must exist.
fs::path TargetFile(const std::string& text, const fs::path& source) {
    if (EndsWithSeparator(text)) {
        if (!fs::is_directory(StatusOf(HostPath(text)))) throw RuntimeError(kPathNotFound);
        const std::u8string name = source.filename().u8string();
        return HostPath(text + std::string(name.begin(), name.end()));
    }
    fs::path host = HostPath(text);
    if (!FolderOfExists(host)) throw RuntimeError(kPathNotFound);
    return host;
}

// Raises the run-time error for a failed host call.
void ThrowIf(std::error_code error, int fallback = kDeviceIOError) {
    if (error) throw ErrorFromSystem(error, fallback);
}

void RemoveQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// Writes a checked copy beside the target, renames it over and flushes the folder, so the target
// is at every moment either what it was or the complete copy, and the copy is on the disk before
// the call returns. The digest of what was copied.
ContentDigest CopyIntoPlace(const fs::path& source, const fs::path& target) {
    ContentDigest copied;
    const fs::path temporary = CopyToTemporary(source, target.parent_path(), &copied);
    if (std::error_code error = RenameOver(temporary, target)) {
        RemoveQuietly(temporary);
        throw ErrorFromSystem(error);
    }
    ThrowIf(FlushFolder(target.parent_path()));
    return copied;
}

// An attempt: a file system without modes (FAT through FUSE says ENOSYS) or one that refuses the
// change may still let the removal or rename that follows work, and that one reports its failure.
void MakeWritable(const fs::path& path, fs::perms extra = fs::perms::none) {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_write | extra, fs::perm_options::add, ignored);
}

// Windows will neither replace nor delete a read-only file.
void LetGo(const fs::path& file) {
    if (kReadOnlyFilesResistDeletion && IsReadOnly(StatusOf(file))) MakeWritable(file);
}

// A symbolic link, or on Windows any reparse point (a junction too).
bool IsLink(const fs::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    std::error_code ignored;
    return fs::is_symlink(fs::symlink_status(path, ignored));
#endif
}

// Removes a link itself, never what it points to.
void RemoveLink(const fs::path& link) {
#ifdef _WIN32
    // A link to a folder, and a junction, are removed as folders are.
    const bool folder = (GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!(folder ? RemoveDirectoryW(link.c_str()) : DeleteFileW(link.c_str()))) {
        throw ErrorFromSystem(
            std::error_code(static_cast<int>(GetLastError()), std::system_category()),
            kPermissionDenied);
    }
#else
    std::error_code ec;
    fs::remove(link, ec);
    ThrowIf(ec, kPermissionDenied);
#endif
}

// Removes `path` and, for a folder, everything in it, depth first; links go as links. With
// `force` read-only entries go too.
void RemoveTree(const fs::path& path, bool force) {
    if (IsLink(path)) return RemoveLink(path);
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) {
        // Its entries can go only from a folder that is writable and searchable.
        if (force) MakeWritable(path, fs::perms::owner_all);
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back(it->path());
        ThrowIf(ec, kPermissionDenied);
        for (const fs::path& entry : entries) RemoveTree(entry, force);
    } else if (force) {
        LetGo(path);
    }
    fs::remove(path, ec);
    ThrowIf(ec, kPermissionDenied);
}

// Whether the text names a drive root or the host's root, which are never deleted.
bool IsRootText(const std::string& text) {
    std::string full = FullPathText(text);
    return full == "\\" || full == "/" || (full.size() == 3 && full[1] == ':');
}

bool HoldsReadOnlyEntry(const fs::path& folder) {
    if (IsReadOnly(StatusOf(folder))) return true;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::file_status status = it->symlink_status(ec);
        if (!ec && !fs::is_symlink(status) && IsReadOnly(status)) return true;
    }
    ThrowIf(ec, kPermissionDenied);
    return false;
}

// Renames `from` over `to`, flushing the destination's folder and then the source's, so that a
// power cut never loses the file from both.
void MoveDurably(const fs::path& from, const fs::path& to) {
    if (std::error_code error = RenameOver(from, to)) {
        if (error != std::errc::cross_device_link) throw ErrorFromSystem(error);
        // Across devices the file is copied, and the source goes only once the copy is on disk.
        CopyIntoPlace(from, to);
        faults::CheckRuntime(faults::Op::kDeleteFile, from);
        std::error_code ec;
        fs::remove(from, ec);
        ThrowIf(ec, kPermissionDenied);
    } else {
        ThrowIf(FlushFolder(to.parent_path()));
    }
    ThrowIf(FlushFolder(from.parent_path()));
}

// The path a failed copy or move concerns: the source while it is missing or cannot be read, else
// the file written (a destination ending in a separator names a folder, and the file keeps the
// source's name).
std::string FailedEnd(const std::string& source, const std::string& destination) {
    const std::optional<fs::path> from = TryHostPath(source);
    if (!from || !fs::is_regular_file(StatusOf(*from)) || !std::ifstream(*from)) return source;
    if (!EndsWithSeparator(destination)) return destination;
    const size_t name = source.find_last_of("\\/");
    return destination + (name == std::string::npos ? source : source.substr(name + 1));
}

}  // namespace

bool FileSystemObject::FolderExists(const std::string& path) const {
    std::optional<fs::path> host = TryHostPath(path);
    return host && fs::is_directory(StatusOf(*host));
}

bool FileSystemObject::FileExists(const std::string& path) const {
    std::optional<fs::path> host = TryHostPath(path);
    return host && fs::is_regular_file(StatusOf(*host));
}

File FileSystemObject::GetFile(const std::string& path) const try {
    fs::path host = ExistingFile(path);
    std::error_code ec;
    std::uintmax_t size = fs::file_size(host, ec);
    if (ec) throw ErrorFromSystem(ec);
    return File(size);
} catch (RuntimeError& error) {
    NamePath(error, path);
    throw;
}

ContentDigest FileSystemObject::copyfile(const std::string& source, const std::string& destination,
                                         bool overwrite) const try {
    fs::path from = ExistingFile(source);
    fs::path to = TargetFile(destination, from);
    fs::file_status target = StatusOf(to);
    if (fs::is_directory(target)) throw RuntimeError(kPermissionDenied);
    if (fs::exists(target)) {
        if (!overwrite) throw RuntimeError(kFileAlreadyExists);
        if (IsReadOnly(target)) throw RuntimeError(kPermissionDenied);
    }
    return CopyIntoPlace(from, to);
} catch (RuntimeError& error) {
    NamePath(error, FailedEnd(source, destination));
    throw;
}

void FileSystemObject::movefile(const std::string& source, const std::string& destination) const
    try {
    fs::path from = ExistingFile(source);
    fs::path to = TargetFile(destination, from);
    if (IsPresent(to)) throw RuntimeError(kFileAlreadyExists);
    try {
        MoveDurably(from, to);
    } catch (const RuntimeError&) {
        // A copy across devices whose source could not go is taken back: the move happens whole
        // or not at all.
        if (IsPresent(from)) RemoveQuietly(to);
        throw;
    }
} catch (RuntimeError& error) {
    NamePath(error, FailedEnd(source, destination));
    throw;
}

void FileSystemObject::deletefile(const std::string& path, bool force) const try {
    fs::path host = ExistingFile(path);
    if (IsReadOnly(StatusOf(host))) {
        if (!force) throw RuntimeError(kPermissionDenied);
        LetGo(host);
    }
    faults::CheckRuntime(faults::Op::kDeleteFile, host);
    std::error_code ec;
    fs::remove(host, ec);
    ThrowIf(ec, kPermissionDenied);
} catch (RuntimeError& error) {
    NamePath(error, path);
    throw;
}

void FileSystemObject::deletefolder(const std::string& path, bool force) const try {
    fs::path host = HostPath(path);
    if (!fs::is_directory(StatusOf(host))) throw RuntimeError(kPathNotFound);
    if (IsRootText(path)) throw RuntimeError(kPermissionDenied);
    if (IsLink(host)) {
        // A linked folder goes as a link: what it points to belongs elsewhere.
        faults::CheckRuntime(faults::Op::kDeleteFile, host);
        RemoveLink(host);
        return;
    }
    if (!force && HoldsReadOnlyEntry(host)) throw RuntimeError(kPermissionDenied);
    faults::CheckRuntime(faults::Op::kDeleteTree, host);
    RemoveTree(host, force);
} catch (RuntimeError& error) {
    NamePath(error, path);
    throw;
}

ContentDigest FileSystemObject::CopyOver(const std::string& source, const std::string& target) const
    try {
    fs::path from = ExistingFile(source);
    fs::path to = TargetFile(target, from);
    if (fs::is_directory(StatusOf(to))) throw RuntimeError(kPermissionDenied);
    return CopyIntoPlace(from, to);
} catch (RuntimeError& error) {
    NamePath(error, FailedEnd(source, target));
    throw;
}

void FileSystemObject::MoveOver(const std::string& source, const std::string& target) const try {
    fs::path from = ExistingFile(source);
    fs::path to = TargetFile(target, from);
    if (fs::is_directory(StatusOf(to))) throw RuntimeError(kPermissionDenied);
    MoveDurably(from, to);
} catch (RuntimeError& error) {
    NamePath(error, FailedEnd(source, target));
    throw;
}

void FileSystemObject::RemoveIfPresent(const std::string& path) const try {
    const fs::path host = HostPath(path);
    if (!IsPresent(host)) return;
    if (IsRootText(path)) throw RuntimeError(kPermissionDenied);
    const bool tree = !IsLink(host) && fs::is_directory(StatusOf(host));
    faults::CheckRuntime(tree ? faults::Op::kDeleteTree : faults::Op::kDeleteFile, host);
    RemoveTree(host, true);
} catch (RuntimeError& error) {
    NamePath(error, path);
    throw;
}

void FileSystemObject::RemoveTemporaries(const std::string& folder) const try {
    if (!FolderExists(folder)) throw RuntimeError(kPathNotFound);
    for (const std::string& name : NamesIn(folder)) {
        if (IsTemporaryName(name)) RemoveIfPresent(JoinPath(folder, "\\" + name));
    }
} catch (RuntimeError& error) {
    NamePath(error, folder);
    throw;
}

std::vector<std::string> FileSystemObject::NamesIn(const std::string& folder) const {
    std::vector<std::string> names;
    std::optional<fs::path> host = TryHostPath(folder);
    if (!host) return names;
    std::error_code ec;
    for (fs::directory_iterator it(*host, ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = it->path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ContentDigest FileSystemObject::DigestOf(const std::string& path) const {
    return kelmora::DigestOf(ExistingFile(path));
}

bool FileSystemObject::SameContent(const std::string& first, const std::string& second) const {
    std::optional<fs::path> a = TryHostPath(first);
    std::optional<fs::path> b = TryHostPath(second);
    if (!a || !b) return false;
    std::ifstream left(*a, std::ios::binary);
    std::ifstream right(*b, std::ios::binary);
    if (!left || !right) return false;
    std::vector<char> leftChunk(1 << 16), rightChunk(1 << 16);
    while (left && right) {
        left.read(leftChunk.data(), static_cast<std::streamsize>(leftChunk.size()));
        right.read(rightChunk.data(), static_cast<std::streamsize>(rightChunk.size()));
        if (left.gcount() != right.gcount() ||
            !std::equal(leftChunk.begin(), leftChunk.begin() + left.gcount(), rightChunk.begin()))
            return false;
    }
    return left.eof() && right.eof();
}

void FileSystemObject::FlushFolder(const std::string& path) const try {
    fs::path host = HostPath(path);
    if (!fs::is_directory(StatusOf(host))) throw RuntimeError(kPathNotFound);
    ThrowIf(kelmora::FlushFolder(host));
} catch (RuntimeError& error) {
    NamePath(error, path);
    throw;
}

}  // namespace kelmora
