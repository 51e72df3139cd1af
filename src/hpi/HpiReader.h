// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "hpi/HpiFormat.h"
#include "hpi/NameRules.h"

// Reads the game's HPI archives (version 1). It never trusts the file: every offset, count, size
// and name is checked before use, and a damaged archive gives an HpiError whose text names the
// archive and what is wrong. Once opened, a reader of a file or of memory may extract from several
// threads at once.
namespace kelmora {

// A damaged archive, an archive of another kind, or a failed read or write, with a text that
// names the archive and what is wrong ("KELMORA.UFO is damaged: chunk 3 of 'scripts\armcom.cob'
// fails its checksum"). Where the system refused a read or write, `code` says why (a full disk,
// access denied); it is empty where the archive is at fault.
class HpiError : public std::runtime_error {
public:
    explicit HpiError(const std::string& what, std::error_code code = {})
        : std::runtime_error(what), code_(code) {}

    std::error_code code() const { return code_; }

private:
    std::error_code code_;
};

struct HpiEntry {
    std::string path;        // UTF-8, names from the root joined with '\'
    std::string name;        // UTF-8 form of the stored name
    std::string storedName;  // the name's bytes as stored (Windows-1252)
    bool directory = false;
    std::uint32_t size = 0;  // decompressed size; 0 for a directory
    hpi::Compression compression = hpi::Compression::kStored;
    std::uint32_t dataOffset = 0;
    std::int32_t parent = -1;  // index of the directory holding it, -1 at the root
    // Why this entry must not be extracted (its name, or its directory's, could leave the target
    // folder, or repeats an earlier entry's); empty for a safe entry.
    std::string unsafeReason;

    bool safe() const { return unsafeReason.empty(); }
};

// Where the archive's bytes come from: a file, or memory for tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly `size` bytes at `offset`, which the caller has checked lie inside the source.
    // Throws HpiError when the read fails.
    virtual void Read(std::uint64_t offset, unsigned char* out, size_t size) = 0;
};

class HpiReader {
public:
    // Opens an archive file; `displayName` (default: the file's name) starts every error text.
    static HpiReader Open(const std::filesystem::path& path, std::string displayName = {});
    // Reads an archive held in memory.
    static HpiReader FromMemory(std::string bytes, std::string displayName);
    static HpiReader FromSource(std::unique_ptr<ByteSource> source, std::string displayName);

    HpiReader(HpiReader&&) noexcept;
    HpiReader& operator=(HpiReader&&) noexcept;
    ~HpiReader();

    const std::string& displayName() const { return displayName_; }
    std::uint32_t headerKey() const { return headerKey_; }

    // Every entry in stored order: depth first, a directory before the entries inside it.
    const std::vector<HpiEntry>& entries() const { return entries_; }
    // The first entry whose full path (UTF-8, '\'-separated) equals `path` without regard to case.
    const HpiEntry* Find(std::string_view path) const;

    // Streams a file entry's content to `sink` in pieces of at most 65536 bytes, checking every
    // chunk. Throws HpiError for an unsafe entry, a directory, or damaged data; the sink may have
    // received part of the content by then.
    using Sink = std::function<void(const unsigned char* data, size_t size)>;
    void Extract(const HpiEntry& entry, const Sink& sink) const;
    std::string ExtractToMemory(const HpiEntry& entry) const;
    // Writes the content to `destination` through a temporary file beside it, replacing an
    // existing file only once the whole content has been read and written.
    void ExtractToFile(const HpiEntry& entry, const std::filesystem::path& destination) const;

private:
    HpiReader(std::unique_ptr<ByteSource> source, std::string displayName);
    void ReadHeader();
    void ReadDirectory();
    void ReadAt(std::uint64_t offset, unsigned char* out, size_t size) const;
    // The archive is damaged: "NAME is damaged: what".
    [[noreturn]] void Fail(const std::string& what) const;
    // The archive is not one this reader takes, or it refuses a request: "NAME: what".
    [[noreturn]] void Refuse(const std::string& what) const;

    std::unique_ptr<ByteSource> source_;
    std::string displayName_;
    std::uint64_t fileSize_ = 0;
    std::uint32_t headerKey_ = 0;
    std::uint8_t cipherByte_ = 0;
    std::uint32_t directoryEnd_ = 0;
    std::uint32_t directoryStart_ = 0;
    std::vector<HpiEntry> entries_;
    std::unordered_map<std::string, std::int32_t> index_;  // lower-cased path -> entry
};

}  // namespace kelmora
