#include "hpi/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include "platform/FaultInjection.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kelmora {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string RandomSuffix() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += kDigits[random() % 36];
    return suffix;
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

#ifdef _WIN32
// Windows refuses to replace a read-only file: the old one loses its read-only attribute for the
// rename, and the new one then takes the old one's attributes, as it takes its permissions
// elsewhere.
void RenameOver(const fs::path& from, const fs::path& to, std::error_code& ec) {
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    const bool readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) ::SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    fs::rename(from, to, ec);
    if (readOnly) ::SetFileAttributesW(to.c_str(), attributes);
}
#else
void RenameOver(const fs::path& from, const fs::path& to, std::error_code& ec) {
    fs::rename(from, to, ec);
}
#endif

}  // namespace

AtomicFile::AtomicFile(fs::path target, Durability durability)
    : target_(std::move(target)), durability_(durability) {
    fs::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ =
            folder / ("." + target_.filename().string() + ".kelmora-" + RandomSuffix() + ".tmp");
        fd_ = faults::CheckErrno("create", temporary_) ? -1 : OpenNew(temporary_);
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
        long long written = faults::CheckErrno("write", temporary_) ? -1 : WriteSome(fd_, p, size);
        if (written < 0 && errno == EINTR) continue;
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
    if (flushed && (faults::CheckErrno("flush", temporary_) || !SyncFile(fd_)))
        ThrowErrno("cannot flush '" + temporary_.string() + "'");
#ifndef _WIN32
    // A replaced file keeps its permissions; a new one gets the usual ones (0666 less the umask).
    struct stat targetStat;
    if (::stat(target_.c_str(), &targetStat) == 0 && S_ISREG(targetStat.st_mode)) {
        ::fchmod(fd_, targetStat.st_mode & 07777);
    }
#endif
    int closed = CloseFile(fd_);
    if (faults::CheckErrno("close", temporary_)) closed = -1;
    fd_ = -1;
    if (closed != 0) ThrowErrno("cannot close '" + temporary_.string() + "'");
    std::error_code ec;
    if (faults::CheckErrno("rename over", target_)) {
        ec = std::error_code(errno, std::generic_category());
    } else {
        RenameOver(temporary_, target_, ec);
    }
    if (ec)
        throw std::system_error(ec, "cannot rename the new file over '" + target_.string() + "'");
    committed_ = true;
#ifndef _WIN32
    // Make the rename itself durable.
    if (!flushed) return;
    fs::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
#endif
}

}  // namespace kelmora
