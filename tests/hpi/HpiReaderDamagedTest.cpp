// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged archives: one fault each, each with its own message, and random changes that must
// never crash the reader.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "hpi/HpiReader.h"
#include "hpi/HpiTestArchive.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {
namespace fs = std::filesystem;
using testing::BuildRawArchive;
using testing::GetU32;
using testing::PutU32;
using testing::RawDir;
using testing::RawEntry;
using testing::RawFile;

// The base archive, with the offsets the faults poke at:
//   0x00 header (20)          20 root record {1, 28}      28 entry {37, 45, dir}
//   37 "scripts\0"            45 record {1, 53}           53 entry {62, 73, file}
//   62 "armcom.cob\0"         73 file record {82, 70000, zlib}; 82 = directory end
//   82 chunk table (2 x u32)  90 chunk 1 header, 109 its payload; chunk 2 follows.
constexpr size_t kRootRecord = 20, kScriptsEntry = 28, kScriptsRecord = 45, kFileEntry = 53,
                 kFileRecord = 73, kDirectoryEnd = 82, kTable = 82, kChunk1 = 90;
constexpr std::uint32_t kFileBytes = 70000;

std::string BaseArchive() {
    return BuildRawArchive(
        {RawDir("scripts", {RawFile("armcom.cob", testing::TextBytes(kFileBytes, 9))})});
}

void AddToChecksum(std::string& bytes, size_t chunk, int delta) {
    PutU32(bytes, chunk + hpi::kChunkChecksum, GetU32(bytes, chunk + hpi::kChunkChecksum) + delta);
}

// Changes one payload byte of a chunk and its checksum with it.
void SetPayloadByte(std::string& bytes, size_t chunk, size_t index, unsigned char value) {
    size_t at = chunk + hpi::kChunkHeaderSize + index;
    AddToChecksum(bytes, chunk, int{value} - static_cast<unsigned char>(bytes[at]));
    bytes[at] = static_cast<char>(value);
}

struct Fault {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* message;  // after "damaged.hpi: "
    bool atOpen = true;   // else the open succeeds and extracting the file fails
    std::function<std::string()> base = BaseArchive;
};

TEST(HpiReaderDamaged, EachFaultFailsWithItsOwnMessage) {
    ASSERT_EQ(BaseArchive().substr(37, 8), std::string("scripts\0", 8));
    ASSERT_EQ(GetU32(BaseArchive(), 8), kDirectoryEnd);
    const std::vector<Fault> faults = {
        {"no marker", [](std::string& b) { b[0] = 'X'; }, "not an HPI archive (no 'HAPI' marker)"},
        {"saved game", [](std::string& b) { b.replace(0, 4, "BANK"); },
         "this is a saved game ('BANK'), not an HPI archive"},
        {"version 2", [](std::string& b) { PutU32(b, 4, 0x20000); },
         "HPI version 2 (0x00020000) is a later game's format, which this program cannot read"},
        {"unknown version", [](std::string& b) { PutU32(b, 4, 0x30000); },
         "unknown HPI version 0x30000; only version 1 (0x10000) can be read"},
        {"tiny file", [](std::string& b) { b.resize(3); },
         "not an HPI archive: the file is only 3 bytes long"},
        {"short header", [](std::string& b) { b.resize(12); },
         "the HPI header is cut short: the file is only 12 bytes long"},
        {"directory end past the file", [](std::string& b) { PutU32(b, 8, 0x7FFFFFFF); },
         "the directory block ends at offset 2147483647, past the end of the file"},
        {"directory end too early", [](std::string& b) { PutU32(b, 8, 24); },
         "the directory block ends at offset 24, too early to hold the root directory"},
        {"root record in the header", [](std::string& b) { PutU32(b, 16, 4); },
         "the root directory record lies inside the header"},
        {"root record past the block", [](std::string& b) { PutU32(b, 16, kDirectoryEnd - 4); },
         "the root directory record runs past the end of the directory block"},
        {"huge entry count", [](std::string& b) { PutU32(b, kRootRecord, 0x10000000); },
         "the root directory claims 268435456 entries, more than the directory block can hold"},
        {"entry list past the file",
         [](std::string& b) {
             PutU32(b, kScriptsRecord + 4, static_cast<std::uint32_t>(b.size() - 4));
         },
         "the entry list of directory 'scripts' runs past the end of the file"},
        {"entry list past the block",
         [](std::string& b) { PutU32(b, kScriptsRecord + 4, kDirectoryEnd - 5); },
         "the entry list of directory 'scripts' runs past the end of the directory block"},
        {"unknown kind", [](std::string& b) { b[kFileEntry + 8] = 7; },
         "entry 1 of directory 'scripts' has kind 7, neither file (0) nor directory (1)"},
        {"cycle to its parent",
         [](std::string& b) {
             PutU32(b, kFileEntry + 4, kScriptsRecord);
             b[kFileEntry + 8] = 1;
         },
         "directory 'scripts\\armcom.cob' refers back to directory 'scripts', which holds it (a "
         "directory cycle)"},
        {"cycle to the root",
         [](std::string& b) {
             PutU32(b, kFileEntry + 4, kRootRecord);
             b[kFileEntry + 8] = 1;
         },
         "directory 'scripts\\armcom.cob' refers back to the root directory, which holds it (a "
         "directory cycle)"},
        {"directory record shared",
         [](std::string& b) { PutU32(b, 20 + 8 + 9 + 4, GetU32(b, 20 + 8 + 4)); },
         "directory 'b' uses a directory record that another directory uses too", true,
         [] {
             return BuildRawArchive({RawDir("a"), RawDir("b")});
         }},
        {"name past the file",
         [](std::string& b) { PutU32(b, kFileEntry, static_cast<std::uint32_t>(b.size() + 10)); },
         "the name of entry 1 of directory 'scripts' runs past the end of the file"},
        {"name not terminated", [](std::string& b) { PutU32(b, kFileEntry, kDirectoryEnd - 1); },
         "the name of entry 1 of directory 'scripts' runs past the end of the directory block"},
        {"name in the header", [](std::string& b) { PutU32(b, kScriptsEntry, 2); },
         "the name of entry 1 of the root directory lies inside the header"},
        {"file record past the block",
         [](std::string& b) { PutU32(b, kFileEntry + 4, kDirectoryEnd - 3); },
         "the file record of 'scripts\\armcom.cob' runs past the end of the directory block"},
        {"unknown compression", [](std::string& b) { b[kFileRecord + 8] = 5; },
         "'scripts\\armcom.cob' uses an unknown compression (5)"},
        {"chunk table past the file",
         [](std::string& b) { PutU32(b, kFileRecord, static_cast<std::uint32_t>(b.size() - 4)); },
         "the chunk table of 'scripts\\armcom.cob' runs past the end of the file"},
        {"chunk table for a huge size",
         [](std::string& b) { PutU32(b, kFileRecord + 4, 0xFFFFFFFF); },
         "the chunk table of 'scripts\\armcom.cob' runs past the end of the file"},
        {"stored data past the file",
         [](std::string& b) {
             b[kFileRecord + 8] = 0;
             PutU32(b, kFileRecord + 4, static_cast<std::uint32_t>(b.size()));
         },
         "the data of 'scripts\\armcom.cob' runs past the end of the file"},
        {"data in the header", [](std::string& b) { PutU32(b, kFileRecord, 4); },
         "the chunk table of 'scripts\\armcom.cob' lies inside the header"},
        // The open succeeds; extracting the file fails.
        {"chunk marker", [](std::string& b) { b[kChunk1] = 'X'; }, "has no 'SQSH' marker", false},
        {"checksum", [](std::string& b) { AddToChecksum(b, kChunk1, 1); }, "fails its checksum",
         false},
        {"damaged zlib stream",
         [](std::string& b) {
             ASSERT_EQ(static_cast<unsigned char>(b[kChunk1 + 19]), 0x78);  // zlib's first byte
             SetPayloadByte(b, kChunk1, 0, 0x79);
         },
         "zlib data is damaged (incorrect header check)", false},
        {"zlib stream cut short",
         [](std::string& b) {
             std::uint32_t size = GetU32(b, kChunk1 + 7);
             for (size_t i = kChunk1 + 19 + size - 10; i < kChunk1 + 19 + size; ++i)
                 AddToChecksum(b, kChunk1, -static_cast<unsigned char>(b[i]));
             PutU32(b, kChunk1 + 7, size - 10);
             PutU32(b, kTable, GetU32(b, kTable) - 10);
         },
         "zlib data runs out of input", false},
        {"table disagrees with header",
         [](std::string& b) { PutU32(b, kTable, GetU32(b, kTable) + 1); }, "holds", false},
        {"chunk past the file", [](std::string& b) { PutU32(b, kTable, 0x7FFFFFFF); },
         "runs past the end of the file", false},
        {"chunk shorter than its header", [](std::string& b) { PutU32(b, kTable, 5); },
         "is 5 bytes long in the chunk table, shorter than a chunk header", false},
        {"declared decompressed size", [](std::string& b) { PutU32(b, kChunk1 + 11, 65000); },
         "declares 65000 decompressed bytes where the file's size calls for 65536", false},
        {"chunk method", [](std::string& b) { b[kChunk1 + 5] = 9; },
         "uses an unknown compression (9)", false},
        {"chunk cipher flag", [](std::string& b) { b[kChunk1 + 6] = 3; },
         "has chunk cipher flag 3, neither 0 nor 1", false},
        {"stream longer than declared",
         [](std::string& b) {
             size_t chunk2 = kChunk1 + GetU32(b, kTable);
             PutU32(b, kFileRecord + 4, 65536 + 100);
             PutU32(b, chunk2 + 11, 100);
         },
         "zlib data decodes to more than the chunk's decompressed size", false},
        {"stream shorter than declared",
         [](std::string& b) {
             size_t chunk2 = kChunk1 + GetU32(b, kTable);
             PutU32(b, kFileRecord + 4, 65536 + 5000);
             PutU32(b, chunk2 + 11, 5000);
         },
         "zlib data ends before the chunk's decompressed size", false},
        {"LZ77 data cut short",
         [](std::string& b) {
             PutU32(b, kChunk1 + 7, 3);
             PutU32(b, kTable, 19 + 3);
             std::uint32_t sum = 0;
             for (int i = 0; i < 3; ++i) sum += static_cast<unsigned char>(b[kChunk1 + 19 + i]);
             PutU32(b, kChunk1 + 15, sum);
         },
         "LZ77 data runs out of input", false,
         [] {
             return BuildRawArchive({RawDir(
                 "scripts", {RawFile("armcom.cob", testing::TextBytes(kFileBytes, 9), 1)})});
         }},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        std::string bytes = fault.base();
        fault.damage(bytes);
        try {
            HpiReader reader = HpiReader::FromMemory(bytes, "damaged.hpi");
            if (fault.atOpen) {
                ADD_FAILURE() << "the damaged archive opened";
                continue;
            }
            const HpiEntry* file = reader.Find("scripts\\armcom.cob");
            ASSERT_NE(file, nullptr);
            reader.ExtractToMemory(*file);
            ADD_FAILURE() << "the damaged file was extracted";
        } catch (const HpiError& error) {
            std::string text = error.what();
            if (fault.atOpen) {
                // "damaged.hpi: not an HPI archive...", "damaged.hpi is damaged: the root..."
                EXPECT_TRUE(text.starts_with("damaged.hpi")) << text;
                EXPECT_EQ(text.substr(text.find(": ") + 2, std::string(fault.message).size()),
                          fault.message)
                    << text;
            } else {
                EXPECT_TRUE(text.starts_with("damaged.hpi is damaged: chunk ")) << text;
                EXPECT_NE(text.find(" of 2 of 'scripts\\armcom.cob'"), std::string::npos) << text;
                EXPECT_NE(text.find(fault.message), std::string::npos) << text;
            }
        }
    }
}

RawEntry Chain(int depth) {
    RawEntry entry = RawFile("f", "x");
    for (int i = 0; i < depth; ++i) {
        RawEntry parent = RawDir("d");
        parent.children.push_back(std::move(entry));
        entry = std::move(parent);
    }
    return entry;
}

// A cycle through a long chain of directories fails without exhausting the stack.
TEST(HpiReaderDamaged, LongCyclesAreFoundWithoutRecursion) {
    constexpr int kDepth = 500;
    std::string bytes = BuildRawArchive({Chain(kDepth)});
    HpiReader reader = HpiReader::FromMemory(bytes, "deep.hpi");
    EXPECT_EQ(reader.entries().size(), size_t{kDepth} + 1);
    EXPECT_EQ(reader.ExtractToMemory(reader.entries().back()), "x");

    // Point the innermost directory's entry back at the root record.
    size_t entry = GetU32(bytes, 20 + 4);
    for (int i = 0; i < kDepth; ++i) entry = GetU32(bytes, GetU32(bytes, entry + 4) + 4);
    PutU32(bytes, entry + 4, 20);
    bytes[entry + 8] = 1;
    try {
        HpiReader::FromMemory(bytes, "cycle.hpi");
        FAIL() << "a cycle was accepted";
    } catch (const HpiError& error) {
        EXPECT_NE(std::string(error.what()).find("refers back to the root directory"),
                  std::string::npos)
            << error.what();
    }
}

// Directories nested far deeper than any archive needs would make the full paths grow with the
// square of the depth; the reader refuses before they take more than a few times the file's size.
TEST(HpiReaderDamaged, AbsurdNestingIsRefused) {
    try {
        HpiReader::FromMemory(BuildRawArchive({Chain(3000)}), "nested.hpi");
        FAIL() << "the archive was accepted";
    } catch (const HpiError& error) {
        EXPECT_NE(std::string(error.what()).find("nested without end"), std::string::npos)
            << error.what();
    }
}

// ---- Mutation: random damage never crashes, hangs or runs away with memory. ----

void ReadEverything(const std::string& bytes) {
    try {
        HpiReader reader = HpiReader::FromMemory(bytes, "mutant.hpi");
        for (const HpiEntry& entry : reader.entries()) {
            (void)reader.Find(entry.path);
            if (entry.directory) continue;
            try {
                std::string content = reader.ExtractToMemory(entry);
                EXPECT_EQ(content.size(), entry.size);
            } catch (const HpiError&) {
            }
        }
    } catch (const HpiError&) {
    }
}

std::vector<std::pair<std::string, std::string>> MutationInputs() {
    std::vector<std::pair<std::string, std::string>> inputs;
    if (auto folder = testing::HpiFixtures()) {
        for (const auto& item : fs::directory_iterator(*folder)) {
            if (item.path().extension() == ".ufo")
                inputs.push_back({item.path().filename().string(), testing::ReadFile(item.path())});
        }
    }
    // Generated ones too, so the test bites without the fixtures: every method, a header key.
    inputs.push_back(
        {"generated",
         BuildRawArchive({RawDir("a", {RawFile("s", testing::RandomBytes(3000, 4), 0),
                                       RawFile("l", testing::TextBytes(70000, 5), 1)}),
                          RawDir("e"), RawFile("z", testing::TextBytes(5000, 6), 2)})});
    inputs.push_back(
        {"generated-key",
         BuildRawArchive({RawDir("a", {RawFile("l", testing::TextBytes(9000, 7), 1)})}, 0xAF)});
    return inputs;
}

// 300 rounds per archive; KELMORA_MUTATION_ROUNDS asks for more in a longer local run.
TEST(HpiReaderMutation, RandomlyChangedArchivesNeverCrash) {
    const char* asked = std::getenv("KELMORA_MUTATION_ROUNDS");
    const int rounds = asked ? std::max(1, std::atoi(asked)) : 300;
    std::mt19937 random(20240607);
    for (const auto& [name, original] : MutationInputs()) {
        SCOPED_TRACE(name);
        std::uint32_t directoryEnd = std::min<std::uint32_t>(
            GetU32(original, 8), static_cast<std::uint32_t>(original.size()));
        for (int round = 0; round < rounds; ++round) {
            std::string bytes = original;
            int changes = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < changes; ++i) {
                // Half the changes land in the directory block, where they matter most.
                size_t span = (round % 2 == 0) ? directoryEnd : bytes.size();
                size_t at = random() % span;
                bytes[at] = static_cast<char>(random() % 3 == 0 ? bytes[at] ^ (1 << (random() % 8))
                                                                : random());
            }
            if (round % 50 == 49) bytes.resize(random() % bytes.size());
            ReadEverything(bytes);
        }
    }
}

}  // namespace
}  // namespace kelmora
