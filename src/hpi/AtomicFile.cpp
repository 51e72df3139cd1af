// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "platform/DurableFiles.h"
#include "platform/FaultInjection.h"

#ifdef _WIN32
#include <io.h>
#include "platform/WindowsApi.h"
#else
#include <unistd.h>
#endif

namespace kelmora {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

#ifdef _WIN32
int OpenNew(const fs::path& path) {
    return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long long WriteSome(int fd, const char* data, size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1 << 30)));
}
bool SeekTo(int fd, std::uint64_t offset) {
    return ::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) >= 0;
}
bool SyncFile(int fd) {
    return ::_commit(fd) == 0;
}
int CloseFile(int fd) {
    return ::_close(fd);
}
#else
int OpenNew(const fs::path& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
long long WriteSome(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}
bool SeekTo(int fd, std::uint64_t offset) {
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}
bool SyncFile(int fd) {
    return ::fsync(fd) == 0;
}
int CloseFile(int fd) {
    return ::close(fd);
}
#endif

}  // namespace

AtomicFile::AtomicFile(fs::path target, Durability durability)
    : target_(std::move(target)), durability_(durability) {
    fs::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = folder / TemporaryName(target_.filename().string());
        fd_ = faults::CheckErrno(faults::Op::kCreateFile, temporary_) ? -1 : OpenNew(temporary_);
        if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) ThrowErrno("cannot create a temporary file in '" + folder.string() + "'");
}

AtomicFile::~AtomicFile() {
    if (committed_) return;
    Close();
    std::error_code ec;
    fs::remove(temporary_, ec);
}

void AtomicFile::Close() {
    if (fd_ >= 0) {
        CloseFile(fd_);
        fd_ = -1;
    }
}

void AtomicFile::Write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        long long written =
            faults::CheckErrno(faults::Op::kWrite, temporary_) ? -1 : WriteSome(fd_, p, size);
        if (written < 0 && errno == EINTR) continue;
        // A regular file that takes no byte of a write has no room for it.
        if (written == 0) errno = ENOSPC;
        if (written <= 0) ThrowErrno("cannot write '" + temporary_.string() + "'");
        p += written;
        size -= static_cast<size_t>(written);
    }
}

void AtomicFile::Seek(std::uint64_t offset) {
    if (!SeekTo(fd_, offset)) ThrowErrno("cannot seek in '" + temporary_.string() + "'");
}

void AtomicFile::Commit() {
    const bool flushed = durability_ == Durability::kFlushed;
    if (flushed && (faults::CheckErrno(faults::Op::kFlushFile, temporary_) || !SyncFile(fd_)))
        ThrowErrno("cannot flush '" + temporary_.string() + "'");
    int closed = CloseFile(fd_);
    if (faults::CheckErrno(faults::Op::kCloseFile, temporary_)) closed = -1;
    fd_ = -1;
    if (closed != 0) ThrowErrno("cannot close '" + temporary_.string() + "'");
    // A replaced file hands on its permissions; a new one has the usual ones (0666 less umask).
    if (std::error_code ec = RenameOver(temporary_, target_))
        throw std::system_error(ec, "cannot rename the new file over '" + target_.string() + "'");
    committed_ = true;
    // The rename itself on the disk too, so that a power cut cannot take the new file back.
    if (!flushed) return;
    fs::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    if (std::error_code ec = FlushFolder(folder))
        throw std::system_error(ec, "cannot flush the folder of '" + target_.string() + "'");
}

}  // namespace kelmora
