// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
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
    auto folder = testing::HpiFixtures();
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
    auto folder = testing::HpiFixtures();
    if (!folder) GTEST_SKIP() << "no shared fixtures beside this checkout";
    HpiReader reader = HpiReader::Open(*folder / "unit-armimp.ufo");
    EXPECT_EQ(reader.headerKey(), 0x7Du);
    ASSERT_EQ(reader.entries().size(), 2u);
    EXPECT_EQ(reader.entries()[1].compression, hpi::Compression::kLz77);
}

TEST(HpiReaderFixtures, LaterVersionIsRefusedWithAClearMessage) {
    auto folder = testing::HpiFixtures();
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

}  // namespace
}  // namespace kelmora
