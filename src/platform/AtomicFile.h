#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

// A file written under a temporary name in its target's folder and renamed over the target only
// when complete and flushed, so that a failed or interrupted write leaves an existing target as it
// was. Nothing is ever written outside the target's folder.
namespace kelmora {

class AtomicFile {
public:
    // Creates the temporary file. Throws std::system_error naming the folder when it cannot.
    explicit AtomicFile(std::filesystem::path target);
    // Removes the temporary file unless Commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Each throws std::system_error on failure.
    void Write(const void* data, size_t size);
    void Seek(std::uint64_t offset);
    // Flushes the data to the disk, gives the file the permissions of the target it replaces (if
    // any), closes it and renames it over the target.
    void Commit();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporaryPath() const { return temporary_; }

private:
    void Close();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace kelmora
