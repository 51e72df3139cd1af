// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builds HPI archives byte by byte for the tests, independently of the library's writer, so that
// names, methods, ciphers and faults can be anything a hostile file might hold.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "hpi/HpiFormat.h"
#include "hpi/Lz77.h"

namespace kelmora::testing {

struct RawEntry {
    std::string name;  // stored bytes, taken as they are
    bool directory = false;
    std::string content;
    int method = 2;  // 0 stored, 1 LZ77, 2 zlib
    std::vector<RawEntry> children;
};

inline RawEntry RawFile(std::string name, std::string content, int method = 2) {
    RawEntry e;
    e.name = std::move(name);
    e.content = std::move(content);
    e.method = method;
    return e;
}

inline RawEntry RawDir(std::string name, std::vector<RawEntry> children = {}) {
    RawEntry e;
    e.name = std::move(name);
    e.directory = true;
    e.children = std::move(children);
    return e;
}

inline void PutU32(std::string& bytes, size_t at, std::uint32_t value) {
    hpi::WriteU32(reinterpret_cast<unsigned char*>(&bytes[at]), value);
}
inline std::uint32_t GetU32(const std::string& bytes, size_t at) {
    return hpi::ReadU32(reinterpret_cast<const unsigned char*>(&bytes[at]));
}

// Lays `root` out as the game's packers do (section 3 of the format notes): root record at 0x14,
// names followed at once by their records, then the data in the same depth-first order. A header
// key other than 0 enciphers everything after the header.
// A zlib stream of one chunk; BuildRawArchive uses zlib's default level unless given another.
using ZlibEncoder = std::vector<unsigned char> (*)(const std::string& piece);

inline std::string BuildRawArchive(const std::vector<RawEntry>& root, std::uint32_t headerKey = 0,
                                   ZlibEncoder zlibEncoder = nullptr) {
    std::string bytes(hpi::kHeaderSize, '\0');
    std::vector<std::pair<size_t, const RawEntry*>> fileRecords;
    auto layDirectory = [&](auto&& self, size_t record,
                            const std::vector<RawEntry>& children) -> void {
        size_t list = bytes.size();
        PutU32(bytes, record, static_cast<std::uint32_t>(children.size()));
        PutU32(bytes, record + 4, static_cast<std::uint32_t>(list));
        bytes.append(children.size() * hpi::kEntrySize, '\0');
        for (size_t i = 0; i < children.size(); ++i) {
            const RawEntry& child = children[i];
            size_t entry = list + i * hpi::kEntrySize;
            PutU32(bytes, entry, static_cast<std::uint32_t>(bytes.size()));
            bytes += child.name;
            bytes += '\0';
            PutU32(bytes, entry + 4, static_cast<std::uint32_t>(bytes.size()));
            bytes[entry + 8] = child.directory ? 1 : 0;
            size_t childRecord = bytes.size();
            if (child.directory) {
                bytes.append(hpi::kDirectoryRecordSize, '\0');
                self(self, childRecord, child.children);
            } else {
                bytes.append(hpi::kFileRecordSize, '\0');
                fileRecords.push_back({childRecord, &child});
            }
        }
    };
    bytes.append(hpi::kDirectoryRecordSize, '\0');
    layDirectory(layDirectory, hpi::kHeaderSize, root);
    std::memcpy(&bytes[0], "HAPI", 4);
    PutU32(bytes, 4, hpi::kVersion1);
    PutU32(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
    PutU32(bytes, 12, headerKey);
    PutU32(bytes, 16, hpi::kHeaderSize);

    for (auto [record, file] : fileRecords) {
        PutU32(bytes, record, static_cast<std::uint32_t>(bytes.size()));
        PutU32(bytes, record + 4, static_cast<std::uint32_t>(file->content.size()));
        bytes[record + 8] = static_cast<char>(file->method);
        if (file->method == 0) {
            bytes += file->content;
            continue;
        }
        size_t chunks = (file->content.size() + hpi::kChunkSize - 1) / hpi::kChunkSize;
        size_t table = bytes.size();
        bytes.append(chunks * 4, '\0');
        for (size_t i = 0; i < chunks; ++i) {
            std::string piece = file->content.substr(i * hpi::kChunkSize, hpi::kChunkSize);
            std::vector<unsigned char> payload;
            if (file->method == 2 && zlibEncoder) {
                payload = zlibEncoder(piece);
            } else if (file->method == 2) {
                uLongf length = compressBound(static_cast<uLong>(piece.size()));
                payload.resize(length);
                compress2(payload.data(), &length, reinterpret_cast<const Bytef*>(piece.data()),
                          static_cast<uLong>(piece.size()), Z_DEFAULT_COMPRESSION);
                payload.resize(length);
            } else {
                payload = lz77::Encode(reinterpret_cast<const unsigned char*>(piece.data()),
                                       piece.size());
            }
            hpi::EncodeChunkCipher(payload.data(), payload.size());
            std::string header(hpi::kChunkHeaderSize, '\0');
            std::memcpy(&header[0], "SQSH", 4);
            header[4] = 2;
            header[5] = static_cast<char>(file->method);
            header[6] = 1;
            PutU32(header, 7, static_cast<std::uint32_t>(payload.size()));
            PutU32(header, 11, static_cast<std::uint32_t>(piece.size()));
            PutU32(header, 15, hpi::ByteSum(payload.data(), payload.size()));
            PutU32(bytes, table + i * 4,
                   static_cast<std::uint32_t>(header.size() + payload.size()));
            bytes += header;
            bytes.append(reinterpret_cast<const char*>(payload.data()), payload.size());
        }
    }
    if (headerKey != 0) {
        hpi::ApplyHeaderCipher(hpi::HeaderCipherByte(headerKey), 0,
                               reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
    }
    return bytes;
}

// Reproducible test content: random bytes, or text-like bytes that compress well.
inline std::string RandomBytes(size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(random());
    return out;
}

inline std::string TextBytes(size_t size, std::uint32_t seed) {
    static const char* words[] = {"Armcom",     "weapon", "range=", "1200;", "\r\n",
                                  "[UNITINFO]", "{",      "}",      " ",     "Core"};
    std::mt19937 random(seed);
    std::string out;
    while (out.size() < size) out += words[random() % 10];
    out.resize(size);
    return out;
}

}  // namespace kelmora::testing
