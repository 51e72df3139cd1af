// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/DurableFiles.h"

// The file operations the program makes, on program path texts (see PathMapping.h). Every
// failure raises a RuntimeError with its number. Copies are checked and flushed before they count
// as done, and a file is replaced by renaming a complete copy over it, so that a failure or a
// power cut leaves the old file or the new one, never a part of either.
namespace kelmora {

class File {
public:
    explicit File(std::uint64_t size) : size_(size) {}
    std::uint64_t Size() const { return size_; }

private:
    std::uint64_t size_;
};

class FileSystemObject {
public:
    bool FolderExists(const std::string& path) const;
    bool FileExists(const std::string& path) const;
    // Raises 53 when the file is missing.
    File GetFile(const std::string& path) const;
    // A destination ending in a separator names a folder and the copy keeps its file name.
    // With overwrite an existing file is replaced, never left half-written; a read-only one
    // raises 70. Returns the digest of the bytes it read, to compare with the copy later.
    ContentDigest copyfile(const std::string& source, const std::string& destination,
                           bool overwrite = true) const;
    // Raises 58 when the destination exists.
    void movefile(const std::string& source, const std::string& destination) const;
    // With force a read-only file is deleted too.
    void deletefile(const std::string& path, bool force = false) const;
    // With force the folder goes with everything in it, read-only files included. Links inside
    // it, and a folder that is itself a link, go as links: what they point to is never touched.
    void deletefolder(const std::string& path, bool force = false) const;

    // Replaces the file `target` (read-only or not; missing is fine) with a copy of `source`, in
    // one step, as copyfile does; a replaced file hands on its permissions or attributes.
    // The digest of the bytes it read.
    ContentDigest CopyOver(const std::string& source, const std::string& target) const;
    // Gives the file `source` the name `target` in one step, replacing a file (read-only or not)
    // that had it; across devices through a checked copy.
    void MoveOver(const std::string& source, const std::string& target) const;
    // The names in a folder, in byte order; none when it cannot be listed.
    std::vector<std::string> NamesIn(const std::string& folder) const;
    // The digest of a file's bytes, read from the disk's file system: a copy or a rename that a
    // file system reported done may have lost them. Raises 53 when the file is missing.
    ContentDigest DigestOf(const std::string& path) const;
    // Whether two files hold the same bytes; false when either cannot be read.
    bool SameContent(const std::string& first, const std::string& second) const;
    // Flushes the names in a folder to the disk (see DurableFiles.h).
    void FlushFolder(const std::string& path) const;
    // Removes whatever the path names, if anything: a file, a link (as a link, even one that
    // leads nowhere) or a folder with everything in it, read-only entries included.
    void RemoveIfPresent(const std::string& path) const;
    // Removes what a stopped run of ours left in a folder under a temporary name (see
    // TemporaryName in DurableFiles.h).
    void RemoveTemporaries(const std::string& folder) const;
};

}  // namespace kelmora
