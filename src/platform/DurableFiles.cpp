// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DurableFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/FaultInjection.h"
#include "platform/RuntimeError.h"

#ifdef _WIN32
#include <io.h>
#include "platform/WindowsApi.h"
#else
#include <unistd.h>
#endif

namespace kelmora {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryMark = ".kelmora-";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr size_t kRandomLength = 8;
constexpr size_t kCopyChunk = 1 << 20;

// The file calls of both hosts under one set of names; Windows' _commit is FlushFileBuffers.
#ifdef _WIN32
using FileStat = struct _stat64;
int OpenForReading(const fs::path& path) {
    return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}
int OpenNew(const fs::path& path) {
    return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long long ReadSome(int fd, char* data, size_t size) {
    return ::_read(fd, data, static_cast<unsigned>(size));
}
long long WriteSome(int fd, const char* data, size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(size));
}
int StatOf(int fd, FileStat* status) {
    return ::_fstat64(fd, status);
}
int SyncFile(int fd) {
    return ::_commit(fd);
}
void KeepPermissions(int, const FileStat&) {}
int CloseFile(int fd) {
    return ::_close(fd);
}
#else
using FileStat = struct stat;
int OpenForReading(const fs::path& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
int OpenNew(const fs::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long long ReadSome(int fd, char* data, size_t size) {
    return ::read(fd, data, size);
}
long long WriteSome(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}
int StatOf(int fd, FileStat* status) {
    return ::fstat(fd, status);
}
int SyncFile(int fd) {
    return ::fsync(fd);
}
void KeepPermissions(int fd, const FileStat& source) {
    ::fchmod(fd, source.st_mode & 07777);
}
int CloseFile(int fd) {
    return ::close(fd);
}
#endif

[[noreturn]] void ThrowErrno(int number = errno) {
    throw ErrorFromSystem(std::error_code(number, std::generic_category()));
}

// An open descriptor, closed when the object goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) CloseFile(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    // Closes it now, reporting the result: a close can be the first to report a full disk.
    int Close() {
        const int result = CloseFile(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

long long ReadChecked(int fd, const fs::path& path, char* data, size_t size) {
    while (true) {
        if (faults::CheckErrno(faults::Op::kRead, path)) ThrowErrno();
        const long long got = ReadSome(fd, data, size);
        if (got >= 0) return got;
        if (errno != EINTR) ThrowErrno();
    }
}

void WriteChecked(int fd, const fs::path& path, const char* data, size_t size) {
    while (size > 0) {
        if (faults::CheckErrno(faults::Op::kWrite, path)) ThrowErrno();
        const long long written = WriteSome(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) ThrowErrno();
        // A regular file that takes no byte of a write has no room for it.
        if (written == 0) ThrowErrno(ENOSPC);
        data += written;
        size -= static_cast<size_t>(written);
    }
}

// Reads everything `fd` holds, handing each piece to `use`; the digest of the bytes.
template <typename Use>
ContentDigest ReadThrough(int fd, const fs::path& path, Use&& use) {
    std::vector<char> buffer(kCopyChunk);
    ContentDigest digest;
    while (const long long got = ReadChecked(fd, path, buffer.data(), buffer.size())) {
        use(buffer.data(), static_cast<size_t>(got));
        digest.size += static_cast<std::uint64_t>(got);
        digest.crc = static_cast<std::uint32_t>(::crc32(
            digest.crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(got)));
    }
    return digest;
}

ContentDigest WriteCopy(const fs::path& source, const fs::path& temporary, int created) {
    Descriptor out(created);
    Descriptor in(OpenForReading(source));
    if (in.get() < 0) ThrowErrno();
    FileStat sourceStatus{};
    if (StatOf(in.get(), &sourceStatus) != 0) ThrowErrno();
    const ContentDigest copied = ReadThrough(in.get(), source, [&](const char* data, size_t size) {
        WriteChecked(out.get(), temporary, data, size);
    });
    FileStat copyStatus{};
    if (StatOf(out.get(), &copyStatus) != 0) ThrowErrno();
    // A source that changed while it was read, or a copy the system cut short, is no copy.
    const auto expected = static_cast<std::uint64_t>(sourceStatus.st_size);
    if (copied.size != expected || static_cast<std::uint64_t>(copyStatus.st_size) != expected)
        throw RuntimeError(kDeviceIOError);
    KeepPermissions(out.get(), sourceStatus);
    if (faults::CheckErrno(faults::Op::kFlushFile, temporary) || SyncFile(out.get()) != 0)
        ThrowErrno();
    if (faults::CheckErrno(faults::Op::kCloseFile, temporary) || out.Close() != 0) ThrowErrno();
    return copied;
}

std::string RandomPart() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string part;
    for (size_t i = 0; i < kRandomLength; ++i) part += kDigits[random() % 36];
    return part;
}

std::error_code InjectedError() {
    return std::error_code(errno, std::generic_category());
}

std::error_code LastError() {
#ifdef _WIN32
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
#else
    return std::error_code(errno, std::generic_category());
#endif
}

}  // namespace

std::string TemporaryName(std::string_view name) {
    return "." + std::string(name) + std::string(kTemporaryMark) + RandomPart() +
           std::string(kTemporaryEnd);
}

bool IsTemporaryName(std::string_view name) {
    if (!name.starts_with('.') || !name.ends_with(kTemporaryEnd)) return false;
    name.remove_suffix(kTemporaryEnd.size());
    if (name.size() < kRandomLength + kTemporaryMark.size() + 1) return false;
    const std::string_view random = name.substr(name.size() - kRandomLength);
    const std::string_view mark =
        name.substr(name.size() - kRandomLength - kTemporaryMark.size(), kTemporaryMark.size());
    if (mark != kTemporaryMark) return false;
    for (char c : random) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

fs::path CopyToTemporary(const fs::path& source, const fs::path& folder, ContentDigest* digest) {
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const fs::path temporary = folder / TemporaryName(source.filename().string());
        if (faults::CheckErrno(faults::Op::kCreateFile, temporary)) ThrowErrno();
        const int created = OpenNew(temporary);
        if (created < 0 && errno == EEXIST) continue;
        if (created < 0) ThrowErrno();
        try {
            const ContentDigest copied = WriteCopy(source, temporary, created);
            if (digest) *digest = copied;
            return temporary;
        } catch (const RuntimeError&) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw;
        }
    }
    throw RuntimeError(kPathFileAccessError);
}

ContentDigest DigestOf(const fs::path& file) {
    Descriptor in(OpenForReading(file));
    if (in.get() < 0) ThrowErrno();
    return ReadThrough(in.get(), file, [](const char*, size_t) {});
}

std::error_code RenameOver(const fs::path& from, const fs::path& to) {
    if (faults::CheckErrno(faults::Op::kRename, to, from)) return InjectedError();
#ifdef _WIN32
    // Windows refuses to replace a read-only file: it loses the attribute for the rename, and the
    // new file then takes its attributes.
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                          (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) ::SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    const bool moved = MoveFileExW(from.c_str(), to.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    const std::error_code error = moved ? std::error_code() : LastError();
    if (readOnly) ::SetFileAttributesW(to.c_str(), attributes);
    if (error) return error;
#else
    // A file system without modes (FAT through FUSE) keeps its own: the attempt may fail.
    struct stat replaced {};
    if (::stat(to.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode))
        ::chmod(from.c_str(), replaced.st_mode & 07777);
    if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
#endif
    faults::AfterRename(to);
    return {};
}

std::error_code FlushFolder(const fs::path& folder) {
    if (faults::CheckErrno(faults::Op::kFlushFolder, folder)) return InjectedError();
#ifdef _WIN32
    return {};
#else
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastError();
    const int synced = ::fsync(fd);
    const std::error_code error = synced == 0 ? std::error_code() : LastError();
    ::close(fd);
    return error;
#endif
}

}  // namespace kelmora
