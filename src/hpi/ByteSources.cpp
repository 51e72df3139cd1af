// SPDX-License-Identifier: GPL-3.0-or-later
#include "hpi/ByteSources.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#include <fcntl.h>

#include "platform/FaultInjection.h"

namespace kelmora {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void CannotOpen(const std::string& displayName, std::error_code error) {
    throw HpiError(displayName + ": cannot open: " + error.message(), error);
}

// Reads at explicit offsets (pread), so that several threads may extract from one archive.
class FileSource : public ByteSource {
public:
    FileSource(const fs::path& path, const std::string& displayName) : displayName_(displayName) {
#ifdef _WIN32
        file_ = ::_wfopen(path.c_str(), L"rb");
        if (!file_) CannotOpen(displayName, std::error_code(errno, std::generic_category()));
#else
        do {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) CannotOpen(displayName, std::error_code(errno, std::generic_category()));
#endif
        std::error_code ec;
        size_ = fs::file_size(path, ec);
        if (ec) {
            Close();
            CannotOpen(displayName, ec);
        }
    }
    ~FileSource() override {
        Close();
    }

    std::uint64_t size() const override {
        return size_;
    }

    void Read(std::uint64_t offset, unsigned char* out, size_t size) override {
        int error = 0;
        bool complete = false;
        if (faults::CheckErrno(faults::Op::kRead, displayName_)) {
            throw HpiError(displayName_ + ": cannot read " + std::to_string(size) +
                           " bytes at offset " + std::to_string(offset) + ": " +
                           std::strerror(errno));
        }
#ifdef _WIN32
        std::lock_guard lock(mutex_);
        bool seeked = ::_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) == 0;
        complete = seeked && std::fread(out, 1, size, file_) == size;
        if (!complete && std::ferror(file_)) error = errno;
        std::clearerr(file_);
#else
        size_t done = 0;
        while (done < size) {
            ssize_t got = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                error = got < 0 ? errno : 0;
                break;
            }
            done += static_cast<size_t>(got);
        }
        complete = done == size;
#endif
        if (!complete) {
            throw HpiError(displayName_ + ": cannot read " + std::to_string(size) +
                           " bytes at offset " + std::to_string(offset) +
                           (error ? std::string(": ") + std::strerror(error)
                                  : ": the file is shorter than it was"));
        }
    }

private:
    void Close() {
#ifdef _WIN32
        if (file_) std::fclose(file_);
#else
        if (fd_ >= 0) ::close(fd_);
#endif
    }

    std::string displayName_;
#ifdef _WIN32
    std::FILE* file_ = nullptr;
    std::mutex mutex_;
#else
    int fd_ = -1;
#endif
    std::uint64_t size_ = 0;
};

class MemoryBytes : public ByteSource {
public:
    explicit MemoryBytes(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void Read(std::uint64_t offset, unsigned char* out, size_t size) override {
        std::memcpy(out, bytes_.data() + offset, size);
    }

private:
    std::string bytes_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const fs::path& path, const std::string& displayName) {
    return std::make_unique<FileSource>(path, displayName);
}

std::unique_ptr<ByteSource> MemorySource(std::string bytes) {
    return std::make_unique<MemoryBytes>(std::move(bytes));
}

}  // namespace kelmora
