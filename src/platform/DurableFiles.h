// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// Files that reach the disk in a known order. A copy counts as done only once every byte was
// read and written without an error, its size is the source's and it is flushed; a rename
// replaces its target in one step; a folder's names are flushed on request. Together they let the
// program keep the player's only copy of an archive until what replaces it is on the disk.
namespace kelmora {

// ".<name>.kelmora-<8 letters or digits>.tmp", a fresh random part each call: the name of a
// temporary file or folder of ours beside `name`.
std::string TemporaryName(std::string_view name);
// Whether `name` has that form: what a run that was stopped may have left behind.
bool IsTemporaryName(std::string_view name);

// The size and CRC-32 of a file's bytes: what a copy read, to compare with what a later read of
// the copy finds.
struct ContentDigest {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool operator==(const ContentDigest&) const = default;
};

// Copies `source` into a new temporary file in `folder` and returns its path: every read and
// write checked, the copy's size compared with the source's, the data flushed to the disk, the
// source's permissions kept. Raises RuntimeError (61 for a full disk) and then leaves nothing.
// `digest`, when given, receives the digest of the bytes read from `source`.
std::filesystem::path CopyToTemporary(const std::filesystem::path& source,
                                      const std::filesystem::path& folder,
                                      ContentDigest* digest = nullptr);

// Reads a whole file, every read checked: its digest. Raises RuntimeError (53 when it is missing).
ContentDigest DigestOf(const std::filesystem::path& file);

// Gives `from` the name `to` in one step, replacing a file of that name, which hands on its
// permissions (on Windows its attributes: a read-only file is replaced too, and the new one is
// read-only). On Windows the rename is written through to the disk before it returns.
std::error_code RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// Flushes the names in `folder` (files created, renamed or deleted in it) to the disk. Windows
// has no such call for a folder; there the renames are written through instead.
std::error_code FlushFolder(const std::filesystem::path& folder);

}  // namespace kelmora
