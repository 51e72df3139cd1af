// SPDX-License-Identifier: GPL-3.0-or-later
// The chunk decoders on their own. The first byte picks what the rest is:
//   0: an LZ77 stream decoded straight into a buffer of a chosen size;
//   1: one chunk (LZ77 or zlib, with or without the chunk cipher) framed in a one-file archive
//      with a valid header and checksum, so every input reaches the decoder;
//   2: data that the LZ77 encoder packs and the decoder must give back unchanged.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzTarget.h"
#include "hpi/HpiFormat.h"
#include "hpi/HpiReader.h"
#include "hpi/Lz77.h"

using namespace kelmora;
using namespace kelmora::hpi;

namespace {

// 1 to 65536 from two bytes.
size_t ChunkSizeFrom(const std::uint8_t* p) {
    return (size_t{p[0]} | size_t{p[1]} << 8) + 1;
}

void DecodeLz77(const std::uint8_t* data, size_t size) {
    if (size < 2) return;
    const size_t expected = ChunkSizeFrom(data);
    // Exactly the room the decoder was given, so AddressSanitizer sees any write past it.
    std::vector<unsigned char> out(expected);
    lz77::Decode(data + 2, size - 2, out.data(), expected);
}

void DecodeFramedChunk(const std::uint8_t* data, size_t size) {
    if (size < 3) return;
    const bool zlib = data[0] & 1;
    const bool cipher = data[0] & 2;
    const size_t expected = ChunkSizeFrom(data + 1);
    const std::uint8_t* payload = data + 3;
    const size_t payloadSize = size - 3;

    // Header, root directory {1 entry}, the entry, its name "f", its file record, then the data:
    // a one-chunk table and the chunk.
    const std::uint32_t entryAt = kHeaderSize + kDirectoryRecordSize;
    const std::uint32_t nameAt = entryAt + kEntrySize;
    const std::uint32_t recordAt = nameAt + 2;
    const std::uint32_t dataAt = recordAt + kFileRecordSize;
    std::string bytes(dataAt + 4 + kChunkHeaderSize, '\0');
    auto* b = reinterpret_cast<unsigned char*>(bytes.data());
    std::memcpy(b + kHeaderMarker, kMarker, 4);
    WriteU32(b + kHeaderVersion, kVersion1);
    WriteU32(b + kHeaderDirectoryEnd, dataAt);
    WriteU32(b + kHeaderDirectoryStart, kHeaderSize);
    WriteU32(b + kHeaderSize + kDirectoryCount, 1);
    WriteU32(b + kHeaderSize + kDirectoryEntries, entryAt);
    WriteU32(b + entryAt + kEntryName, nameAt);
    WriteU32(b + entryAt + kEntryRecord, recordAt);
    b[entryAt + kEntryKind] = kKindFile;
    b[nameAt] = 'f';
    WriteU32(b + recordAt + kFileData, dataAt);
    WriteU32(b + recordAt + kFileSize, static_cast<std::uint32_t>(expected));
    b[recordAt + kFileCompression] = zlib ? 2 : 1;
    WriteU32(b + dataAt, static_cast<std::uint32_t>(kChunkHeaderSize + payloadSize));
    unsigned char* chunk = b + dataAt + 4;
    std::memcpy(chunk + kChunkMarker, kChunkMarkerBytes, 4);
    chunk[kChunkFormat] = kChunkFormatValue;
    chunk[kChunkMethod] = zlib ? 2 : 1;
    chunk[kChunkCipher] = cipher ? 1 : 0;
    WriteU32(chunk + kChunkCompressedSize, static_cast<std::uint32_t>(payloadSize));
    WriteU32(chunk + kChunkDecompressedSize, static_cast<std::uint32_t>(expected));
    WriteU32(chunk + kChunkChecksum, ByteSum(payload, payloadSize));
    bytes.append(reinterpret_cast<const char*>(payload), payloadSize);

    HpiReader reader = HpiReader::FromMemory(std::move(bytes), "chunk.hpi");
    FUZZ_CHECK(reader.entries().size() == 1);
    std::string content;
    try {
        content = reader.ExtractToMemory(reader.entries()[0]);
    } catch (const HpiError&) {
        return;
    }
    FUZZ_CHECK(content.size() == expected);
}

void RoundTrip(const std::uint8_t* data, size_t size) {
    size = std::min<size_t>(size, kChunkSize);
    std::vector<unsigned char> packed = lz77::Encode(data, size);
    std::vector<unsigned char> unpacked(size);
    const std::string problem = lz77::Decode(packed.data(), packed.size(), unpacked.data(), size);
    FUZZ_CHECK(problem.empty());
    FUZZ_CHECK(size == 0 || std::memcmp(unpacked.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    switch (data[0] % 3) {
        case 0:
            DecodeLz77(data + 1, size - 1);
            break;
        case 1:
            DecodeFramedChunk(data + 1, size - 1);
            break;
        case 2:
            RoundTrip(data + 1, size - 1);
            break;
    }
    return 0;
}
