// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderLock.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"

#ifdef _WIN32
#include "platform/WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kelmora {
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
RuntimeError LastError(int fallback) {
    return ErrorFromSystem(
        std::error_code(static_cast<int>(GetLastError()), std::system_category()), fallback);
}

// The folder's final path (links and short names resolved), in upper case: one text per folder.
std::wstring FinalPath(const fs::path& folder) {
    HANDLE handle =
        CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw RuntimeError(kPathNotFound);
        throw LastError(kPathNotFound);
    }
    std::wstring path(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(
        handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    CloseHandle(handle);
    if (length == 0 || length >= path.size()) throw RuntimeError(kPathNotFound);
    path.resize(length);
    CharUpperBuffW(path.data(), length);
    return path;
}

// A kernel object's name holds no '\' after its namespace and is limited in length, so the path
// is hashed (64-bit FNV-1a). Global: one run per folder across the users' sessions too.
std::wstring ObjectName(const fs::path& folder) {
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : FinalPath(folder)) {
        hash ^= static_cast<std::uint64_t>(c);
        hash *= 1099511628211ull;
    }
    std::wstring name = L"Global\\kelmora-game-folder-";
    for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 0xF];
    return name;
}
#endif

}  // namespace

std::optional<FolderLock> FolderLock::TryTake(const std::string& folder) {
    const fs::path host = HostPath(folder);
#ifdef _WIN32
    // A semaphore of one, not a mutex: a mutex lets its owning thread take it again, and only that
    // thread may let it go. The object goes with the last handle, so a run that ends however it
    // ends leaves the folder free.
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, ObjectName(host).c_str());
    // An object another user's run made may refuse this one: that run holds the folder.
    if (!semaphore && GetLastError() == ERROR_ACCESS_DENIED) return std::nullopt;
    if (!semaphore) throw LastError(kPermissionDenied);
    if (WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0)
        return FolderLock(reinterpret_cast<std::intptr_t>(semaphore));
    CloseHandle(semaphore);
    return std::nullopt;
#else
    const int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) throw RuntimeError(kPathNotFound);
    if (fd < 0) throw ErrorFromSystem(std::error_code(errno, std::generic_category()));
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return FolderLock(fd);
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return std::nullopt;
    throw ErrorFromSystem(std::error_code(error, std::generic_category()), kPermissionDenied);
#endif
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)) {}

FolderLock::~FolderLock() {
    if (handle_ == kNone) return;
#ifdef _WIN32
    HANDLE semaphore = reinterpret_cast<HANDLE>(handle_);
    ReleaseSemaphore(semaphore, 1, nullptr);
    CloseHandle(semaphore);
#else
    // Closing the only descriptor lets the lock go.
    ::close(static_cast<int>(handle_));
#endif
}

}  // namespace kelmora
