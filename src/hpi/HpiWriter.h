// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hpi/HpiFormat.h"

// Writes archives in the game's HPI format (version 1) the way the game's own packers do: the
// directory block first, laid out depth first, then every file's data in the same order, cut into
// 65536-byte chunks with the chunk cipher, header key 0, no trailing bytes. Entries keep the order
// in which they were added.
namespace kelmora {

struct HpiProgress {
    std::int32_t filesDone = 0;
    std::int32_t filesTotal = 0;
    std::int32_t fileBytesDone = 0;  // of the file being written
    std::int32_t fileBytesTotal = 0;
    std::int32_t done = 0;   // work done so far
    std::int32_t total = 1;  // all the work, never 0; done reaches it at the end
};
using HpiCallback = std::function<void(const HpiProgress&)>;

class HpiWriter {
public:
    HpiWriter();

    // Adds a directory; `path` is '\'-separated, a trailing '\' is allowed, and missing parent
    // directories are created first. Adding a directory that exists already (letter case aside)
    // does nothing. Throws HpiError for an unsafe or unrepresentable name, or when a file of that
    // path exists.
    void AddDirectory(std::string_view path);
    // Adds a file whose content is read from `source` when the archive is written; its parent
    // directories are found without regard to case, or created. `sourceLabel` names the source in
    // error texts (default: the host path). Throws HpiError for a bad name or a repeated path.
    void AddFile(std::string_view path, std::filesystem::path source, std::string sourceLabel = {});
    void AddFileFromMemory(std::string_view path, std::string content);

    size_t entryCount() const { return nodes_.size() - 1; }

    // Writes the archive to a temporary file beside `target` and renames it over the target once
    // it is complete and flushed, and flushes the target's folder after; on any failure (an
    // unreadable source, a full disk, an exception thrown by `progress`) the temporary file is
    // removed and an existing target is left as it was, except when only that last flush fails.
    // Memory stays within a few chunks whatever the archive's size. `progress` is called on
    // the calling thread. Throws HpiError naming `displayName` (default: the target's file name).
    void Write(const std::filesystem::path& target,
               hpi::Compression compression = hpi::Compression::kZlib,
               const HpiCallback& progress = {}, std::string displayName = {}) const;

private:
    struct Node {
        std::string storedName;  // Windows-1252
        std::string path;        // UTF-8, as first given
        bool directory = false;
        std::vector<std::int32_t> children;
        std::filesystem::path source;
        std::string sourceLabel;
        bool fromMemory = false;
        std::string content;
    };
    std::int32_t Resolve(std::string_view path, bool lastIsDirectory);

    std::vector<Node> nodes_;                               // nodes_[0] is the root
    std::unordered_map<std::string, std::int32_t> byPath_;  // lower-cased UTF-8 path -> node
};

}  // namespace kelmora
