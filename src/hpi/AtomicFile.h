// SPDX-License-Identifier: GPL-3.0-or-later
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
    // kFlushed forces the data to the disk before the rename, so that even a power cut leaves
    // either the old file or the whole new one (for archives that replace the game's). kRenamed
    // leaves flushing to the system, as archivers do for the files they extract.
    enum class Durability { kFlushed, kRenamed };

    // Creates the temporary file. Throws std::system_error naming the folder when it cannot.
    explicit AtomicFile(std::filesystem::path target, Durability durability = Durability::kFlushed);
    // Removes the temporary file unless Commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Each throws std::system_error on failure.
    void Write(const void* data, size_t size);
    void Seek(std::uint64_t offset);
    // Flushes the data to the disk (kFlushed), gives the file the permissions of the target it
    // replaces (if any; on Windows its attributes, read-only included), closes it and renames it
    // over the target, then (kFlushed) flushes the target's folder. Only a failure of that last
    // flush leaves the new file in place.
    void Commit();

    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporaryPath() const { return temporary_; }

private:
    void Close();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    Durability durability_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace kelmora
