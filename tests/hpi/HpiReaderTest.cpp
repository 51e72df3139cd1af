// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "hpi/HpiReader.h"
#include "hpi/HpiTestArchive.h"
#include "platform/PathMapping.h"
#include "support/Sha256.h"
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

std::optional<fs::path> FixtureFolder() {
    auto shared = testing::SharedFixtures();
    if (!shared || !fs::is_directory(*shared / "hpi")) return std::nullopt;
    return *shared / "hpi";
}

struct ManifestLine {
    std::string kind, path, size, compression, sha256;
};

std::vector<ManifestLine> ReadManifest(const fs::path& file) {
    std::vector<ManifestLine> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ManifestLine m;
        std::getline(fields, m.kind, '\t');
        std::getline(fields, m.path, '\t');
        std::getline(fields, m.size, '\t');
        std::getline(fields, m.compression, '\t');
        std::getline(fields, m.sha256, '\t');
        if (!m.kind.empty()) lines.push_back(m);
    }
    return lines;
}

const char* CompressionText(hpi::Compression c) {
    return c == hpi::Compression::kZlib ? "zlib" : c == hpi::Compression::kLz77 ? "lz77" : "stored";
}

// Every real archive lists exactly its manifest, in stored order, and every file's content has
// the manifest's size and SHA-256.
TEST(HpiReaderFixtures, EveryEntryMatchesItsManifest) {
    auto folder = FixtureFolder();
    if (!folder) GTEST_SKIP() << "no shared fixtures beside this checkout (../shared/fixtures/hpi)";
    int archives = 0;
    for (const auto& item : fs::directory_iterator(*folder)) {
        if (item.path().extension() != ".ufo") continue;
        ++archives;
        SCOPED_TRACE(item.path().filename().string());
        fs::path manifestPath = item.path();
        manifestPath.replace_extension(".manifest.tsv");
        auto manifest = ReadManifest(manifestPath);
        ASSERT_FALSE(manifest.empty());
        HpiReader reader = HpiReader::Open(item.path());
        ASSERT_EQ(reader.entries().size(), manifest.size());
        for (size_t i = 0; i < manifest.size(); ++i) {
            const HpiEntry& entry = reader.entries()[i];
            const ManifestLine& m = manifest[i];
            SCOPED_TRACE(m.path);
            EXPECT_EQ(entry.path, m.path);
            EXPECT_TRUE(entry.safe()) << entry.unsafeReason;
            EXPECT_EQ(entry.directory, m.kind == "D");
            if (entry.directory) continue;
            EXPECT_EQ(std::to_string(entry.size), m.size);
            EXPECT_STREQ(CompressionText(entry.compression), m.compression.c_str());
            std::string content = reader.ExtractToMemory(entry);
            EXPECT_EQ(std::to_string(content.size()), m.size);
            EXPECT_EQ(testing::Sha256Hex(content), m.sha256);
            EXPECT_EQ(reader.Find(LowerCase(m.path)), &entry);
        }
    }
    EXPECT_EQ(archives, 5);
}

TEST(HpiReaderFixtures, WholeFileCipherAndLz77AreRead) {
    auto folder = FixtureFolder();
    if (!folder) GTEST_SKIP() << "no shared fixtures beside this checkout";
    HpiReader reader = HpiReader::Open(*folder / "unit-armimp.ufo");
    EXPECT_EQ(reader.headerKey(), 0x7Du);
    ASSERT_EQ(reader.entries().size(), 2u);
    EXPECT_EQ(reader.entries()[1].compression, hpi::Compression::kLz77);
}

TEST(HpiReaderFixtures, LaterVersionIsRefusedWithAClearMessage) {
    auto folder = FixtureFolder();
    if (!folder) GTEST_SKIP() << "no shared fixtures beside this checkout";
    try {
        HpiReader::Open(*folder / "other-version-kingdoms.hpi");
        FAIL() << "a version 2 archive was opened";
    } catch (const HpiError& error) {
        EXPECT_STREQ(error.what(),
                     "other-version-kingdoms.hpi: HPI version 2 (0x00020000) is a later game's "
                     "format, which "
                     "this program cannot read");
    }
}

TEST(HpiReader, ReadsStoredLz77AndZlibWithAndWithoutHeaderKey) {
    std::string text = testing::TextBytes(200000, 1);
    std::string noise = testing::RandomBytes(70000, 2);
    for (std::uint32_t key : {0u, 0x7Du, 0xAFu, 0x1234u}) {
        SCOPED_TRACE(key);
        std::string bytes = BuildRawArchive(
            {RawDir("data", {RawFile("stored.bin", noise, 0), RawFile("lz.txt", text, 1),
                             RawFile("z.txt", text, 2), RawFile("lznoise", noise, 1)}),
             RawFile("empty", "", 2)},
            key);
        HpiReader reader = HpiReader::FromMemory(bytes, "mixed.hpi");
        ASSERT_EQ(reader.entries().size(), 6u);
        EXPECT_EQ(reader.ExtractToMemory(*reader.Find("data\\stored.bin")), noise);
        EXPECT_EQ(reader.ExtractToMemory(*reader.Find("DATA\\LZ.TXT")), text);
        EXPECT_EQ(reader.ExtractToMemory(*reader.Find("data\\z.txt")), text);
        EXPECT_EQ(reader.ExtractToMemory(*reader.Find("data\\lznoise")), noise);
        EXPECT_EQ(reader.ExtractToMemory(*reader.Find("empty")), "");
    }
}

TEST(HpiReader, ConvertsWindows1252NamesToUtf8AndKeepsTheStoredBytes) {
    std::string bytes = BuildRawArchive({RawDir("Caf\xE9", {RawFile("Le\xF3n \xB4x.TXT", "hi")})});
    HpiReader reader = HpiReader::FromMemory(bytes, "names.hpi");
    ASSERT_EQ(reader.entries().size(), 2u);
    EXPECT_EQ(reader.entries()[1].path, "Caf\xC3\xA9\\Le\xC3\xB3n \xC2\xB4x.TXT");
    EXPECT_EQ(reader.entries()[1].storedName, "Le\xF3n \xB4x.TXT");
    EXPECT_EQ(reader.entries()[1].parent, 0);
    // Lookups ignore case, Latin-1 letters included.
    ASSERT_NE(reader.Find("CAF\xC3\x89\\le\xC3\xB3n \xC2\xB4x.txt"), nullptr);
    EXPECT_EQ(reader.ExtractToMemory(*reader.Find("caf\xC3\xA9\\LE\xC3\x93N \xC2\xB4X.TXT")), "hi");
}

TEST(HpiReader, IgnoresTrailingBytesAndPadding) {
    std::string bytes = BuildRawArchive({RawFile("a.txt", "alpha")});
    bytes += "A signature of any length after the data.";
    HpiReader reader = HpiReader::FromMemory(bytes, "trailer.hpi");
    EXPECT_EQ(reader.ExtractToMemory(reader.entries()[0]), "alpha");
}

// Names that could leave the target folder, or repeat an earlier entry: listed, marked unsafe
// with the reason, never extracted; the rest of the archive reads normally.
TEST(HpiReader, UnsafeNamesAreListedButNotExtracted) {
    std::string bytes = BuildRawArchive({
        RawFile("..", "x"),
        RawFile("", "x"),
        RawFile(".", "x"),
        RawFile("a\\b", "x"),
        RawFile("a/b", "x"),
        RawFile("c:evil", "x"),
        RawFile("bell\x07", "x"),
        RawFile("del\x7F", "x"),
        RawFile("c1\x81", "x"),
        RawDir("..", {RawFile("passwd", "root")}),
        RawFile("ok.txt", "fine"),
        RawFile("OK.TXT", "again"),
        RawFile(std::string(300, 'n'), "long"),
    });
    HpiReader reader = HpiReader::FromMemory(bytes, "hostile.hpi");
    const auto& entries = reader.entries();
    ASSERT_EQ(entries.size(), 14u);
    std::vector<std::pair<std::string, std::string>> expected = {
        {"..", "the name is '..'"},
        {"", "the name is empty"},
        {".", "the name is '.'"},
        {"a\\b", "the name contains '\\'"},
        {"a/b", "the name contains '/'"},
        {"c:evil", "the name contains ':'"},
        {"bell\x07", "the name contains a control character (0x07)"},
        {"del\x7F", "the name contains a control character (0x7F)"},
        {"c1\xC2\x81", "the name contains a control character (0x81)"},
        {"..", "the name is '..'"},
        {"..\\passwd", "it lies in directory '..', which is unsafe"},
        {"ok.txt", ""},
        {"OK.TXT", "another entry before it has the same path (letter case aside)"},
        {std::string(255, 'n'), "the name is longer than 255 bytes"},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].path, expected[i].first);
        EXPECT_EQ(entries[i].unsafeReason, expected[i].second);
        if (entries[i].safe()) continue;
        try {
            reader.ExtractToMemory(entries[i]);
            ADD_FAILURE() << "an unsafe entry was extracted";
        } catch (const HpiError& error) {
            EXPECT_NE(std::string(error.what()).find("is not extracted: " + expected[i].second),
                      std::string::npos)
                << error.what();
        }
    }
    EXPECT_EQ(reader.ExtractToMemory(entries[11]), "fine");
    // A lookup finds the first of two entries with the same path.
    EXPECT_EQ(reader.Find("OK.txt"), &entries[11]);
}

TEST(HpiReader, ExtractToFileReplacesAnExistingFileAndRefusesUnsafeEntriesWithoutWriting) {
    testing::TempDir dir;
    std::string bytes = BuildRawArchive({RawFile("new.txt", "new content"), RawFile("..", "evil")});
    HpiReader reader = HpiReader::FromMemory(bytes, "x.hpi");
    testing::WriteFile(dir / "out.txt", "old");
    reader.ExtractToFile(reader.entries()[0], dir / "out.txt");
    EXPECT_EQ(testing::ReadFile(dir / "out.txt"), "new content");
    EXPECT_THROW(reader.ExtractToFile(reader.entries()[1], dir / "evil.txt"), HpiError);
    EXPECT_FALSE(fs::exists(dir / "evil.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(HpiReader, DamagedDataLeavesTheOldDestinationAsItWas) {
    testing::TempDir dir;
    std::string bytes = BuildRawArchive({RawFile("big.bin", testing::TextBytes(150000, 3))});
    // Break the second chunk's checksum: the first chunk is fine and already written by then.
    size_t table =
        GetU32(bytes, 20 + 8 + 9 + 8);  // the file record follows the root's entry and name
    size_t second = table + 3 * 4 + GetU32(bytes, table);
    PutU32(bytes, second + hpi::kChunkChecksum, GetU32(bytes, second + hpi::kChunkChecksum) + 1);
    HpiReader reader = HpiReader::FromMemory(bytes, "x.hpi");
    testing::WriteFile(dir / "big.bin", "previous");
    EXPECT_THROW(reader.ExtractToFile(reader.entries()[0], dir / "big.bin"), HpiError);
    EXPECT_EQ(testing::ReadFile(dir / "big.bin"), "previous");
    // A destination that did not exist is written in place, and removed again.
    EXPECT_THROW(reader.ExtractToFile(reader.entries()[0], dir / "fresh.bin"), HpiError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// ---- Damaged archives: one fault each, each with its own message. ----
//
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
         "'scripts\\armcom.cob' has compression 5, neither stored (0), LZ77 (1) nor zlib (2)"},
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
         "has compression method 9, neither LZ77 (1) nor zlib (2)", false},
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
                EXPECT_EQ(text.substr(0, 13), "damaged.hpi: ");
                EXPECT_EQ(text.substr(13, std::string(fault.message).size()), fault.message)
                    << text;
            } else {
                EXPECT_EQ(text.substr(0, 19), "damaged.hpi: chunk ") << text;
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
    if (auto folder = FixtureFolder()) {
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
