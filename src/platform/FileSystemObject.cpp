#include "platform/FileSystemObject.h"

#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>

#include "platform/FaultInjection.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

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

bool IsLink(const fs::path& path) {
    std::error_code ignored;
    return fs::is_symlink(fs::symlink_status(path, ignored));
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

std::string RandomSuffix() {
    static std::mt19937 generator{std::random_device{}()};
    return std::to_string(generator());
}

void RemoveQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// A complete copy of `source` under a fresh hidden name in `folder`.
fs::path CopyBeside(const fs::path& source, const fs::path& folder) {
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        fs::path temp = folder / ".";
        temp += source.filename().native();
        temp += ".kelmora-" + RandomSuffix();
        faults::CheckRuntime("copy to", temp);
        std::error_code ec;
        if (fs::copy_file(source, temp, fs::copy_options::none, ec)) return temp;
        if (ec == std::errc::file_exists) continue;
        RemoveQuietly(temp);
        throw ErrorFromSystem(ec);
    }
    throw RuntimeError(kPathFileAccessError);
}

// Writes the copy beside the target and renames it over, so the target is at every moment
// either what it was or the complete copy.
void CopyIntoPlace(const fs::path& source, const fs::path& target) {
    fs::path temp = CopyBeside(source, target.parent_path());
    std::error_code ec;
    if (const int injected = faults::Check("rename over", target)) {
        RemoveQuietly(temp);
        throw RuntimeError(injected);
    }
    fs::rename(temp, target, ec);
    if (ec) {
        RemoveQuietly(temp);
        throw ErrorFromSystem(ec);
    }
}

void RemoveLink(const fs::path& link) {
    faults::CheckRuntime("delete link", link);
    std::error_code ec;
    fs::remove(link, ec);
    if (ec) throw ErrorFromSystem(ec, kPermissionDenied);
}

// Whether the text names a drive root or the host's root, which are never deleted.
bool IsRootText(const std::string& text) {
    std::string full = FullPathText(text);
    return full == "\\" || full == "/" || (full.size() == 3 && full[1] == ':');
}

void MakeWritable(const fs::path& path, fs::perms extra = fs::perms::none) {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_write | extra, fs::perm_options::add, ec);
    if (ec) throw ErrorFromSystem(ec, kPermissionDenied);
}

// Lets everything under `folder` be removed: folders need to be writable and searchable for
// their entries to go. Links are left alone, so nothing outside the folder changes.
void UnlockTree(const fs::path& folder) {
    MakeWritable(folder, fs::perms::owner_all);
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::file_status status = it->symlink_status(ec);
        if (ec) break;
        if (fs::is_directory(status)) {
            MakeWritable(it->path(), fs::perms::owner_all);
        } else if (kReadOnlyFilesResistDeletion && IsReadOnly(status)) {
            MakeWritable(it->path());
        }
    }
    if (ec) throw ErrorFromSystem(ec, kPermissionDenied);
}

bool HoldsReadOnlyEntry(const fs::path& folder) {
    if (IsReadOnly(StatusOf(folder))) return true;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::file_status status = it->symlink_status(ec);
        if (!ec && !fs::is_symlink(status) && IsReadOnly(status)) return true;
    }
    if (ec) throw ErrorFromSystem(ec, kPermissionDenied);
    return false;
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

File FileSystemObject::GetFile(const std::string& path) const {
    fs::path host = ExistingFile(path);
    std::error_code ec;
    std::uintmax_t size = fs::file_size(host, ec);
    if (ec) throw ErrorFromSystem(ec);
    return File(size);
}

void FileSystemObject::copyfile(const std::string& source, const std::string& destination,
                                bool overwrite) const {
    fs::path from = ExistingFile(source);
    fs::path to = TargetFile(destination, from);
    fs::file_status target = StatusOf(to);
    if (fs::is_directory(target)) throw RuntimeError(kPermissionDenied);
    if (fs::exists(target)) {
        if (!overwrite) throw RuntimeError(kFileAlreadyExists);
        if (IsReadOnly(target)) throw RuntimeError(kPermissionDenied);
    }
    CopyIntoPlace(from, to);
}

void FileSystemObject::movefile(const std::string& source, const std::string& destination) const {
    fs::path from = ExistingFile(source);
    fs::path to = TargetFile(destination, from);
    if (IsPresent(to)) throw RuntimeError(kFileAlreadyExists);
    faults::CheckRuntime("move to", to);
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec != std::errc::cross_device_link) {
        if (ec) throw ErrorFromSystem(ec);
        return;
    }
    // Across devices the file is copied; the move happens whole or not at all.
    CopyIntoPlace(from, to);
    fs::remove(from, ec);
    if (ec) {
        RemoveQuietly(to);
        throw ErrorFromSystem(ec, kPermissionDenied);
    }
}

void FileSystemObject::deletefile(const std::string& path, bool force) const {
    fs::path host = ExistingFile(path);
    if (IsReadOnly(StatusOf(host))) {
        if (!force) throw RuntimeError(kPermissionDenied);
        if (kReadOnlyFilesResistDeletion) MakeWritable(host);
    }
    faults::CheckRuntime("delete", host);
    std::error_code ec;
    fs::remove(host, ec);
    if (ec) throw ErrorFromSystem(ec, kPermissionDenied);
}

void FileSystemObject::deletefolder(const std::string& path, bool force) const {
    fs::path host = HostPath(path);
    if (!fs::is_directory(StatusOf(host))) throw RuntimeError(kPathNotFound);
    if (IsRootText(path)) throw RuntimeError(kPermissionDenied);
    if (IsLink(host)) {
        // A linked folder goes as a link: what it points to belongs elsewhere.
        RemoveLink(host);
        return;
    }
    if (force) {
        UnlockTree(host);
    } else if (HoldsReadOnlyEntry(host)) {
        throw RuntimeError(kPermissionDenied);
    }
    faults::CheckRuntime("delete folder", host);
    std::error_code ec;
    fs::remove_all(host, ec);
    if (ec) throw ErrorFromSystem(ec, kPermissionDenied);
}

}  // namespace kelmora
