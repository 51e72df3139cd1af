// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Layout of the game's HPI archives, version 1: field offsets and fixed values. Every integer is
// little-endian and every offset absolute from byte 0 of the file.
namespace kelmora::hpi {

// Header: 20 bytes at offset 0, never enciphered.
inline constexpr size_t kHeaderSize = 20;
inline constexpr size_t kHeaderMarker = 0;           // 4 bytes "HAPI"
inline constexpr size_t kHeaderVersion = 4;          // u32
inline constexpr size_t kHeaderDirectoryEnd = 8;     // u32, just past the directory block
inline constexpr size_t kHeaderKey = 12;             // u32, 0 = not enciphered
inline constexpr size_t kHeaderDirectoryStart = 16;  // u32, the root directory record

inline constexpr char kMarker[4] = {'H', 'A', 'P', 'I'};
inline constexpr char kSavedGameMarker[4] = {'B', 'A', 'N', 'K'};
inline constexpr std::uint32_t kVersion1 = 0x00010000;
inline constexpr std::uint32_t kVersion2 = 0x00020000;

// Directory record: 8 bytes.
inline constexpr size_t kDirectoryRecordSize = 8;
inline constexpr size_t kDirectoryCount = 0;    // u32 entry count
inline constexpr size_t kDirectoryEntries = 4;  // u32 offset of the entry list

// Entry: 9 bytes.
inline constexpr size_t kEntrySize = 9;
inline constexpr size_t kEntryName = 0;    // u32 offset of the NUL-terminated name
inline constexpr size_t kEntryRecord = 4;  // u32 offset of the file or directory record
inline constexpr size_t kEntryKind = 8;    // u8 0 file, 1 directory
inline constexpr std::uint8_t kKindFile = 0;
inline constexpr std::uint8_t kKindDirectory = 1;

// File record: 9 bytes.
inline constexpr size_t kFileRecordSize = 9;
inline constexpr size_t kFileData = 0;         // u32 offset of the data
inline constexpr size_t kFileSize = 4;         // u32 decompressed size
inline constexpr size_t kFileCompression = 8;  // u8

enum class Compression : std::uint8_t { kStored = 0, kLz77 = 1, kZlib = 2 };

// Compressed files are cut into chunks of this many decompressed bytes (the last one shorter).
inline constexpr std::uint32_t kChunkSize = 65536;

// Chunk header: 19 bytes, packed.
inline constexpr size_t kChunkHeaderSize = 19;
inline constexpr size_t kChunkMarker = 0;             // 4 bytes "SQSH"
inline constexpr size_t kChunkFormat = 4;             // u8, 2
inline constexpr size_t kChunkMethod = 5;             // u8, 1 LZ77, 2 zlib
inline constexpr size_t kChunkCipher = 6;             // u8, 1 = chunk cipher applied
inline constexpr size_t kChunkCompressedSize = 7;     // u32 payload bytes
inline constexpr size_t kChunkDecompressedSize = 11;  // u32
inline constexpr size_t kChunkChecksum = 15;          // u32 byte sum of the payload as stored

inline constexpr char kChunkMarkerBytes[4] = {'S', 'Q', 'S', 'H'};
inline constexpr std::uint8_t kChunkFormatValue = 2;

// Longest name one entry may have; longer ones are listed but marked unsafe.
inline constexpr size_t kMaxNameLength = 255;

inline std::uint32_t ReadU32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

inline void WriteU32(unsigned char* p, std::uint32_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

// The byte that the whole-file cipher combines with every byte at position 20 and after.
inline std::uint8_t HeaderCipherByte(std::uint32_t key) {
    return static_cast<std::uint8_t>(~((key << 2) | (key >> 6)));
}

// Removes (or applies: it is its own inverse) the whole-file cipher from `size` bytes that were
// read at absolute `position`.
inline void ApplyHeaderCipher(std::uint8_t cipherByte, std::uint64_t position, unsigned char* data,
                              size_t size) {
    for (size_t i = 0; i < size; ++i) {
        std::uint64_t p = position + i;
        if (p < kHeaderSize) continue;
        data[i] = static_cast<unsigned char>(data[i] ^ (p & 0xFF) ^ cipherByte ^ 0xFF);
    }
}

// The chunk cipher, by payload byte index from 0.
inline void DecodeChunkCipher(unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<unsigned char>(((data[i] - i) & 0xFF) ^ (i & 0xFF));
    }
}
inline void EncodeChunkCipher(unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<unsigned char>(((data[i] ^ i) + i) & 0xFF);
    }
}

inline std::uint32_t ByteSum(const unsigned char* data, size_t size) {
    std::uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum += data[i];
    return sum;
}

}  // namespace kelmora::hpi
