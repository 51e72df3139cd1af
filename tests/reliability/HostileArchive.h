// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <zlib.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "hpi/HpiFormat.h"

// Builds HPI archives byte by byte, so that a test can write what no sound packer would: any name
// bytes, any counts, sizes and offsets, chunks that decode to more than they declare.
namespace kelmora::reliability {

struct RawEntry {
    std::string name;                           // stored bytes, anything
    std::optional<std::string> content;         // a file when set, else a directory
    std::vector<RawEntry> children;             // a directory's entries
    bool zlib = false;                          // a file as one zlib chunk instead of stored
    std::optional<std::uint32_t> declaredSize;  // the file record's size, when not the content's
};

inline RawEntry Dir(std::string name, std::vector<RawEntry> children) {
    RawEntry entry;
    entry.name = std::move(name);
    entry.children = std::move(children);
    return entry;
}
inline RawEntry File(std::string name, std::string content) {
    RawEntry entry;
    entry.name = std::move(name);
    entry.content = std::move(content);
    return entry;
}

class RawArchive {
public:
    // Header, then directories depth first (record, entries, then each entry's name and record),
    // then the data of every file.
    static std::string Build(const std::vector<RawEntry>& root) {
        RawArchive archive;
        archive.bytes_.assign(hpi::kHeaderSize, '\0');
        std::memcpy(archive.bytes_.data(), hpi::kMarker, 4);
        archive.PutU32(hpi::kHeaderVersion, hpi::kVersion1);
        archive.PutU32(hpi::kHeaderDirectoryStart, hpi::kHeaderSize);
        archive.Directory(root);
        archive.PutU32(hpi::kHeaderDirectoryEnd, static_cast<std::uint32_t>(archive.bytes_.size()));
        for (const auto& [record, entry] : archive.files_) archive.Data(record, *entry);
        return archive.bytes_;
    }

private:
    void PutU32(size_t at, std::uint32_t value) {
        hpi::WriteU32(reinterpret_cast<unsigned char*>(bytes_.data()) + at, value);
    }
    size_t Grow(size_t size) {
        const size_t at = bytes_.size();
        bytes_.resize(at + size, '\0');
        return at;
    }

    void Directory(const std::vector<RawEntry>& entries) {
        const size_t record = Grow(hpi::kDirectoryRecordSize);
        const size_t list = Grow(entries.size() * hpi::kEntrySize);
        PutU32(record + hpi::kDirectoryCount, static_cast<std::uint32_t>(entries.size()));
        PutU32(record + hpi::kDirectoryEntries, static_cast<std::uint32_t>(list));
        for (size_t i = 0; i < entries.size(); ++i) {
            const RawEntry& entry = entries[i];
            const size_t at = list + i * hpi::kEntrySize;
            const size_t name = Grow(entry.name.size() + 1);
            std::memcpy(bytes_.data() + name, entry.name.data(), entry.name.size());
            PutU32(at + hpi::kEntryName, static_cast<std::uint32_t>(name));
            PutU32(at + hpi::kEntryRecord, static_cast<std::uint32_t>(bytes_.size()));
            bytes_[at + hpi::kEntryKind] = entry.content ? 0 : 1;
            if (entry.content) {
                files_.emplace_back(Grow(hpi::kFileRecordSize), &entry);
            } else {
                Directory(entry.children);
            }
        }
    }

    void Data(size_t record, const RawEntry& entry) {
        const std::string& content = *entry.content;
        PutU32(record + hpi::kFileData, static_cast<std::uint32_t>(bytes_.size()));
        PutU32(record + hpi::kFileSize,
               entry.declaredSize.value_or(static_cast<std::uint32_t>(content.size())));
        bytes_[record + hpi::kFileCompression] = entry.zlib ? 2 : 0;
        if (!entry.zlib) {
            bytes_ += content;
            return;
        }
        std::string payload(compressBound(content.size()), '\0');
        uLongf length = payload.size();
        compress2(reinterpret_cast<Bytef*>(payload.data()), &length,
                  reinterpret_cast<const Bytef*>(content.data()), content.size(),
                  Z_DEFAULT_COMPRESSION);
        payload.resize(length);
        const std::uint32_t declared =
            entry.declaredSize.value_or(static_cast<std::uint32_t>(content.size()));
        const size_t table = Grow(4);
        PutU32(table, static_cast<std::uint32_t>(hpi::kChunkHeaderSize + payload.size()));
        const size_t header = Grow(hpi::kChunkHeaderSize);
        std::memcpy(bytes_.data() + header, hpi::kChunkMarkerBytes, 4);
        bytes_[header + hpi::kChunkFormat] = hpi::kChunkFormatValue;
        bytes_[header + hpi::kChunkMethod] = 2;
        bytes_[header + hpi::kChunkCipher] = 0;
        PutU32(header + hpi::kChunkCompressedSize, static_cast<std::uint32_t>(payload.size()));
        PutU32(header + hpi::kChunkDecompressedSize,
               std::min<std::uint32_t>(declared, hpi::kChunkSize));
        PutU32(
            header + hpi::kChunkChecksum,
            hpi::ByteSum(reinterpret_cast<const unsigned char*>(payload.data()), payload.size()));
        bytes_ += payload;
    }

    std::string bytes_;
    std::vector<std::pair<size_t, const RawEntry*>> files_;
};

}  // namespace kelmora::reliability
