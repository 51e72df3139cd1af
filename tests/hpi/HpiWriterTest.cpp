// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdlib>
#include <thread>

#include "hpi/HpiReader.h"
#include "hpi/HpiTestArchive.h"
#include "hpi/HpiWriter.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {
namespace fs = std::filesystem;
using testing::BuildRawArchive;
using testing::GetU32;
using testing::RawDir;
using testing::RawFile;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// The writer's encoder: libdeflate at level 6, zlib's format and default-level header.
std::vector<unsigned char> Libdeflate6(const std::string& piece) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    std::vector<unsigned char> out(libdeflate_zlib_compress_bound(compressor, piece.size()));
    out.resize(
        libdeflate_zlib_compress(compressor, piece.data(), piece.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
}

size_t FilesIn(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Sizes around the chunk boundaries, and several chunks.
const std::vector<size_t> kSizes = {0, 1, 65535, 65536, 65537, 3 * 65536 + 17};

TEST(HpiWriter, RoundTripsEverySizeByteForByteWithEveryMethod) {
    TempDir dir;
    for (auto method :
         {hpi::Compression::kZlib, hpi::Compression::kLz77, hpi::Compression::kStored}) {
        SCOPED_TRACE(static_cast<int>(method));
        HpiWriter writer;
        std::vector<std::pair<std::string, std::string>> files;
        for (size_t size : kSizes) {
            files.push_back({"text\\t" + std::to_string(size),
                             testing::TextBytes(size, static_cast<std::uint32_t>(size))});
            files.push_back({"noise\\n" + std::to_string(size),
                             testing::RandomBytes(size, static_cast<std::uint32_t>(size + 1))});
        }
        for (size_t i = 0; i < files.size(); ++i) {
            if (i % 2 == 0) {
                writer.AddFileFromMemory(files[i].first, files[i].second);
            } else {  // half of them from disk
                fs::path source = dir / ("source" + std::to_string(i));
                WriteFile(source, files[i].second);
                writer.AddFile(files[i].first, source);
            }
        }
        fs::path target = dir / "round.hpi";
        writer.Write(target, method);
        HpiReader reader = HpiReader::Open(target);
        for (const auto& [path, content] : files) {
            const HpiEntry* entry = reader.Find(path);
            ASSERT_NE(entry, nullptr) << path;
            EXPECT_EQ(entry->compression, method);
            EXPECT_EQ(entry->size, content.size());
            EXPECT_TRUE(reader.ExtractToMemory(*entry) == content) << path;
        }
    }
}

// The writer lays an archive out exactly as the game's packers do; the test builder, written
// from the format notes on its own, makes the same bytes.
TEST(HpiWriter, WritesThePackersLayoutByteForByte) {
    TempDir dir;
    std::string big = testing::TextBytes(200000, 1);
    HpiWriter writer;
    writer.AddDirectory("anims");
    writer.AddFileFromMemory("anims\\gadget.gaf", big);
    writer.AddDirectory("bitmaps\\");
    writer.AddFileFromMemory("scripts\\zzz.cob", "cob");
    writer.AddFileFromMemory("empty.txt", "");
    writer.Write(dir / "layout.hpi");
    std::string expected =
        BuildRawArchive({RawDir("anims", {RawFile("gadget.gaf", big)}), RawDir("bitmaps"),
                         RawDir("scripts", {RawFile("zzz.cob", "cob")}), RawFile("empty.txt", "")},
                        0, Libdeflate6);
    std::string written = ReadFile(dir / "layout.hpi");
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);

    // A few of the facts spelled out: header, root at 0x14, data right after the directory, the
    // chunk cipher flag, zlib's default-level header under the chunk cipher, no trailing bytes.
    EXPECT_EQ(written.substr(0, 4), "HAPI");
    EXPECT_EQ(GetU32(written, 4), 0x10000u);
    EXPECT_EQ(GetU32(written, 12), 0u);
    EXPECT_EQ(GetU32(written, 16), 0x14u);
    std::uint32_t directoryEnd = GetU32(written, 8);
    HpiReader reader = HpiReader::Open(dir / "layout.hpi");
    EXPECT_EQ(reader.Find("anims\\gadget.gaf")->dataOffset, directoryEnd);
    size_t chunk = directoryEnd + 4 * 4;
    EXPECT_EQ(written.substr(chunk, 4), "SQSH");
    EXPECT_EQ(written[chunk + 4], 2);
    EXPECT_EQ(written[chunk + 5], 2);
    EXPECT_EQ(written[chunk + 6], 1);
    EXPECT_EQ(GetU32(written, chunk + 11), 65536u);
    std::string zlibHeader = written.substr(chunk + 19, 2);
    hpi::DecodeChunkCipher(reinterpret_cast<unsigned char*>(zlibHeader.data()), 2);
    EXPECT_EQ(zlibHeader, "\x78\x9C");
    const HpiEntry* last = reader.Find("scripts\\zzz.cob");
    EXPECT_EQ(written.size(), last->dataOffset + 4 + 19 + GetU32(written, last->dataOffset) - 19);
}

TEST(HpiWriter, KeepsTheOrderOfAddingAndEmptyAndDeepDirectories) {
    TempDir dir;
    HpiWriter writer;
    writer.AddFileFromMemory("zeta.txt", "z");
    writer.AddDirectory("empty\\");
    writer.AddFileFromMemory("alpha.txt", "a");
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "level" + std::to_string(i) + "\\";
    writer.AddDirectory(deep);
    writer.AddFileFromMemory(deep + "bottom.txt", "bottom");
    writer.Write(dir / "order.hpi");
    HpiReader reader = HpiReader::Open(dir / "order.hpi");
    ASSERT_EQ(reader.entries().size(), 3u + 40u + 1u);
    EXPECT_EQ(reader.entries()[0].path, "zeta.txt");
    EXPECT_EQ(reader.entries()[1].path, "empty");
    EXPECT_TRUE(reader.entries()[1].directory);
    EXPECT_EQ(reader.entries()[2].path, "alpha.txt");
    EXPECT_EQ(reader.entries()[3].path, "level0");
    EXPECT_EQ(reader.entries().back().path, deep + "bottom.txt");
    EXPECT_EQ(reader.ExtractToMemory(reader.entries().back()), "bottom");
}

TEST(HpiWriter, StoresNamesWithSpacesCapitalsAndAccentsInWindows1252) {
    TempDir dir;
    HpiWriter writer;
    writer.AddDirectory("Unitpics\\");
    writer.AddFileFromMemory("Unitpics\\Arm Commander.pcx", "pcx");
    writer.AddFileFromMemory("Caf\xC3\xA9\\Le\xC3\xB3n.TXT", "accents");
    writer.Write(dir / "names.hpi");
    HpiReader reader = HpiReader::Open(dir / "names.hpi");
    ASSERT_EQ(reader.entries().size(), 4u);
    EXPECT_EQ(reader.entries()[1].path, "Unitpics\\Arm Commander.pcx");
    EXPECT_EQ(reader.entries()[2].storedName, "Caf\xE9");
    EXPECT_EQ(reader.entries()[3].storedName, "Le\xF3n.TXT");
    EXPECT_EQ(reader.entries()[3].path, "Caf\xC3\xA9\\Le\xC3\xB3n.TXT");
    EXPECT_EQ(reader.ExtractToMemory(*reader.Find("CAF\xC3\x89\\le\xC3\xB3n.txt")), "accents");
    EXPECT_NE(ReadFile(dir / "names.hpi").find("Le\xF3n.TXT"), std::string::npos);
}

TEST(HpiWriter, FindsParentDirectoriesWithoutRegardToCase) {
    TempDir dir;
    HpiWriter writer;
    writer.AddDirectory("scripts\\");
    writer.AddFileFromMemory("Scripts\\Armcom.cob", "cob");
    writer.AddDirectory("SCRIPTS");  // already there
    writer.Write(dir / "case.hpi");
    HpiReader reader = HpiReader::Open(dir / "case.hpi");
    ASSERT_EQ(reader.entries().size(), 2u);
    EXPECT_EQ(reader.entries()[1].path, "scripts\\Armcom.cob");
}

TEST(HpiWriter, RefusesNamesItCannotWriteSafely) {
    HpiWriter writer;
    writer.AddFileFromMemory("taken.txt", "x");
    writer.AddDirectory("dir");
    struct Case {
        const char* name;
        const char* message;
    };
    for (const Case& c : std::vector<Case>{
             {"", "'': the entry name is empty"},
             {"..\\x", "'..\\x': cannot be an archive entry: the name is '..'"},
             {"a\\.\\x", "'a\\.\\x': cannot be an archive entry: the name is '.'"},
             {"a\\\\x", "'a\\\\x': cannot be an archive entry: the name is empty"},
             {"\\x", "'\\x': cannot be an archive entry: the name is empty"},
             {"c:\\x", "'c:\\x': cannot be an archive entry: the name contains ':'"},
             {"a/b", "'a/b': cannot be an archive entry: the name contains '/'"},
             {"units\\nul.fbi",
              "'units\\nul.fbi': cannot be an archive entry: the name is the device nul on "
              "Windows"},
             {"trail.", "'trail.': cannot be an archive entry: the name ends with a dot"},
             {"tab\there",
              "'tab<09>here': cannot be an archive entry: the name contains a control character "
              "(0x09)"},
             {"\xE6\x97\xA5.txt",
              "'\xE6\x97\xA5.txt': '\xE6\x97\xA5.txt' holds a character the archive's names "
              "(Windows-1252) cannot hold"},
             {"TAKEN.TXT", "'TAKEN.TXT': the archive already holds a file 'taken.txt'"},
             {"dir", "'dir': the archive already holds a directory 'dir'"},
             {"taken.txt\\inside",
              "'taken.txt\\inside': the archive already holds a file 'taken.txt'"},
         }) {
        SCOPED_TRACE(c.name);
        try {
            writer.AddFileFromMemory(c.name, "y");
            ADD_FAILURE() << "accepted";
        } catch (const HpiError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
    EXPECT_EQ(writer.entryCount(), 2u);
}

TEST(HpiWriter, ReportsProgressUpToItsTotal) {
    TempDir dir;
    HpiWriter writer;
    writer.AddFileFromMemory("a", testing::TextBytes(200000, 1));
    writer.AddFileFromMemory("b", "");
    writer.AddFileFromMemory("c", "ccc");
    std::vector<HpiProgress> reports;
    const auto caller = std::this_thread::get_id();
    writer.Write(dir / "p.hpi", hpi::Compression::kZlib, [&](const HpiProgress& p) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        reports.push_back(p);
    });
    ASSERT_GE(reports.size(), 4u);
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].total, 200000 + 3 + 3 + 1);
        EXPECT_EQ(reports[i].filesTotal, 3);
        if (i > 0) {
            EXPECT_GT(reports[i].done, reports[i - 1].done);
        }
    }
    EXPECT_EQ(reports[0].done, 65536);
    EXPECT_EQ(reports[0].fileBytesTotal, 200000);
    EXPECT_EQ(reports.back().done, reports.back().total);
    EXPECT_EQ(reports.back().filesDone, 3);
}

// An exception from the progress callback (a cancel) stops the pack: the old archive stays, the
// temporary file is removed.
TEST(HpiWriter, AnInterruptedPackLeavesTheOldArchiveAndNoTemporaryFile) {
    TempDir dir;
    WriteFile(dir / "target.hpi", "old bytes");
    HpiWriter writer;
    writer.AddFileFromMemory("a", testing::RandomBytes(300000, 1));
    int calls = 0;
    auto cancel = [&](const HpiProgress&) {
        if (++calls == 2) throw std::runtime_error("cancelled");
    };
    EXPECT_THROW(writer.Write(dir / "target.hpi", hpi::Compression::kZlib, cancel),
                 std::runtime_error);
    EXPECT_EQ(ReadFile(dir / "target.hpi"), "old bytes");
    EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(HpiWriter, ASourceThatShrinksWhilePackingFailsThePack) {
    TempDir dir;
    WriteFile(dir / "target.hpi", "old bytes");
    WriteFile(dir / "source", testing::RandomBytes(200000, 2));
    HpiWriter writer;
    // Sources are read a few chunks per thread ahead of writing: a first file longer than that
    // makes the callback run before the source is read.
    writer.AddFileFromMemory(
        "first", std::string((4 * std::thread::hardware_concurrency() + 8) * hpi::kChunkSize, 'x'));
    writer.AddFile("s", dir / "source", "the source");
    auto shrink = [&](const HpiProgress&) { fs::resize_file(dir / "source", 10); };
    try {
        writer.Write(dir / "target.hpi", hpi::Compression::kZlib, shrink);
        FAIL() << "the pack succeeded";
    } catch (const HpiError& error) {
        EXPECT_STREQ(error.what(),
                     "target.hpi: not written: cannot read 'the source': it became shorter while "
                     "being packed");
    }
    EXPECT_EQ(ReadFile(dir / "target.hpi"), "old bytes");
    EXPECT_EQ(FilesIn(dir.path()), 2u);
}

// Every chunk is a plain zlib stream ("78 9C", Adler-32) that zlib's own inflate reads, and on
// the game's real files the archive is within 2% of zlib's default level.
TEST(HpiWriter, ChunksAreDefaultLevelZlibStreamsNoLargerThanZlibsOwn) {
    auto shared = testing::SharedFixtures();
    if (!shared || !fs::is_directory(*shared / "hpi")) GTEST_SKIP() << "no shared fixtures";
    TempDir dir;
    HpiWriter writer;
    std::vector<std::string> contents;
    uLong zlibSize = 0;
    for (const auto& item : fs::directory_iterator(*shared / "hpi")) {
        if (item.path().extension() != ".ufo") continue;
        HpiReader real = HpiReader::Open(item.path());
        for (const HpiEntry& entry : real.entries()) {
            if (entry.directory || !entry.safe()) continue;
            contents.push_back(real.ExtractToMemory(entry));
            writer.AddFileFromMemory(std::to_string(contents.size()), contents.back());
            for (size_t at = 0; at < contents.back().size(); at += hpi::kChunkSize) {
                std::string piece = contents.back().substr(at, hpi::kChunkSize);
                uLongf length = compressBound(static_cast<uLong>(piece.size()));
                std::vector<unsigned char> out(length);
                compress2(out.data(), &length, reinterpret_cast<const Bytef*>(piece.data()),
                          piece.size(), Z_DEFAULT_COMPRESSION);
                zlibSize += length;
            }
        }
    }
    ASSERT_GT(contents.size(), 20u);
    writer.Write(dir / "real.hpi");

    const std::string archive = ReadFile(dir / "real.hpi");
    HpiReader reader = HpiReader::Open(dir / "real.hpi");
    std::uint64_t payloadSize = 0;
    for (const HpiEntry& entry : reader.entries()) {
        const std::string& content = contents[std::stoul(entry.path) - 1];
        size_t at =
            entry.dataOffset + 4 * ((content.size() + hpi::kChunkSize - 1) / hpi::kChunkSize);
        for (size_t done = 0; done < content.size(); done += hpi::kChunkSize) {
            std::uint32_t length = GetU32(archive, at + hpi::kChunkCompressedSize);
            std::string payload = archive.substr(at + hpi::kChunkHeaderSize, length);
            hpi::DecodeChunkCipher(reinterpret_cast<unsigned char*>(payload.data()), length);
            ASSERT_EQ(payload.substr(0, 2), "\x78\x9C");
            std::string plain(std::min<size_t>(hpi::kChunkSize, content.size() - done), '\0');
            uLongf plainSize = plain.size();
            ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(plain.data()), &plainSize,
                                 reinterpret_cast<const Bytef*>(payload.data()), length),
                      Z_OK);
            EXPECT_TRUE(plain == content.substr(done, hpi::kChunkSize)) << entry.path;
            payloadSize += length;
            at += hpi::kChunkHeaderSize + length;
        }
    }
    EXPECT_LE(payloadSize, zlibSize * 1.02);
}

TEST(HpiWriter, WritesTheSameBytesForTheSameInput) {
    TempDir dir;
    for (const char* name : {"one.hpi", "two.hpi"}) {
        HpiWriter writer;
        writer.AddFileFromMemory("d\\f", testing::TextBytes(100000, 3));
        writer.Write(dir / name);
    }
    EXPECT_TRUE(ReadFile(dir / "one.hpi") == ReadFile(dir / "two.hpi"));
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__has_feature)
#define KELMORA_NO_ASAN 1
#elif defined(__has_feature)
#if !__has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define KELMORA_NO_ASAN 1
#endif
#endif

// Packing streams: a 128 MiB file (sparse, so it takes no disk) packs in a process whose memory
// stays a small fraction of that. The packing runs in a fresh process of this program, which
// holds nothing else yet.
TEST(HpiWriter, MemoryStaysBoundedWhateverTheArchivesSize) {
#ifndef KELMORA_NO_ASAN
    GTEST_SKIP() << "memory use is not meaningful under AddressSanitizer";
#endif
    constexpr const char* kInChild = "KELMORA_TEST_MEASURE_PACKING";
    if (std::getenv(kInChild) == nullptr) {
        testing::Invocation child{
            testing::SelfProgram(),
            {"--gtest_filter=HpiWriter.MemoryStaysBoundedWhateverTheArchivesSize"},
            {},
            {{kInChild, "1"}}};
        const testing::Finished measured = testing::Run(child);
        EXPECT_EQ(measured.status, 0) << measured.out << measured.err;
        return;
    }
    TempDir dir;
    constexpr std::uint64_t kSize = 128ull << 20;
    {
        std::ofstream(dir / "huge.bin").flush();
        fs::resize_file(dir / "huge.bin", kSize);
    }
    HpiWriter writer;
    writer.AddFile("huge.bin", dir / "huge.bin");
    writer.Write(dir / "huge.hpi");
    HpiReader reader = HpiReader::Open(dir / "huge.hpi");
    std::uint64_t bytes = 0;
    reader.Extract(reader.entries()[0], [&](const unsigned char*, size_t size) { bytes += size; });
    EXPECT_EQ(bytes, kSize);
    EXPECT_LT(testing::PeakResidentBytes(), 32u << 20);
}

}  // namespace
}  // namespace kelmora
