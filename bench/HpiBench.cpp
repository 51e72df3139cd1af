// SPDX-License-Identifier: GPL-3.0-or-later
// Packs and extracts a reproducible, game-like tree of about 50 MB with the HPI library, and
// compresses and decompresses the same bytes with plain zlib at the same level, then prints the
// speeds and our time over plain zlib's.
//
//   kelmora-hpi-bench [--seed N] [--megabytes N] [--runs N] [--keep DIR]
//
// Each figure is the best of --runs runs (default 3), which shuts out most noise from other work
// on the machine.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "hpi/HpiReader.h"
#include "hpi/HpiWriter.h"

namespace fs = std::filesystem;
using namespace kelmora;

namespace {

struct GeneratedFile {
    std::string path;  // archive path, '\'-separated
    std::string content;
};

// Text like the game's unit and weapon definitions: compresses well.
std::string TextContent(std::mt19937& random, size_t size) {
    static const char* words[] = {"[UNITINFO]", "{",         "}",      "\r\n",        "\t",
                                  "UnitName=",  "ARMCOM",    "CORCOM", ";",           "Side=ARM",
                                  "Energy",     "Metal",     "range=", "reloadtime=", "damage",
                                  "weapon1=",   "Commander", "Builds", "0.",          "1",
                                  "2",          "3",         "45",     "600",         "1200",
                                  " "};
    std::string out;
    while (out.size() < size) out += words[random() % (sizeof words / sizeof *words)];
    out.resize(size);
    return out;
}

// Binary data like models, scripts, pictures and sounds: runs, repeated records and noise.
std::string BinaryContent(std::mt19937& random, size_t size) {
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        size_t piece = 64 + random() % 4096;
        switch (random() % 4) {
            case 0:  // a run of one colour or silence
                out.append(piece, static_cast<char>(random() % 8));
                break;
            case 1: {  // repeated small records
                std::string record(8 + random() % 24, '\0');
                for (char& c : record) c = static_cast<char>(random());
                while (piece > 0) {
                    out += record.substr(0, std::min(piece, record.size()));
                    piece -= std::min(piece, record.size());
                }
                break;
            }
            case 2:  // a smooth ramp, like sampled sound
                for (size_t i = 0; i < piece; ++i)
                    out += static_cast<char>((i * 3 + random() % 5) & 0xFF);
                break;
            default:  // noise
                for (size_t i = 0; i < piece; ++i) out += static_cast<char>(random());
        }
    }
    out.resize(size);
    return out;
}

std::vector<GeneratedFile> GenerateTree(std::uint32_t seed, size_t targetBytes) {
    std::mt19937 random(seed);
    static const char* folders[] = {"units",    "weapons",  "scripts", "objects3d",
                                    "anims",    "unitpics", "sounds",  "features\\corpses",
                                    "gamedata", "textures"};
    std::vector<GeneratedFile> files;
    size_t total = 0;
    // About a third in a dozen large files, the rest in many small ones.
    for (int i = 0; i < 12 && total < targetBytes / 3; ++i) {
        size_t size = 1'000'000 + random() % 2'000'000;
        files.push_back({std::string(folders[4 + i % 6]) + "\\large" + std::to_string(i) + ".gaf",
                         BinaryContent(random, size)});
        total += size;
    }
    for (int i = 0; total < targetBytes; ++i) {
        const char* folder = folders[random() % 10];
        bool text = random() % 2 == 0;
        size_t size = text ? 200 + random() % 12'000 : 500 + random() % 60'000;
        std::string name =
            std::string(folder) + "\\file" + std::to_string(i) + (text ? ".fbi" : ".cob");
        files.push_back({name, text ? TextContent(random, size) : BinaryContent(random, size)});
        total += size;
    }
    return files;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double MegabytesPerSecond(std::uint64_t bytes, double seconds) {
    return bytes / 1e6 / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint32_t seed = 1;
    size_t megabytes = 50;
    int runs = 3;
    fs::path keep;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--megabytes" && i + 1 < argc) {
            megabytes = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else {
            std::fprintf(
                stderr,
                "usage: kelmora-hpi-bench [--seed N] [--megabytes N] [--runs N] [--keep DIR]\n");
            return 2;
        }
    }
    fs::path work = keep;
    if (work.empty()) {
        work =
            fs::temp_directory_path() / ("kelmora-bench-" + std::to_string(std::random_device{}()));
    }
    fs::create_directories(work);

    std::vector<GeneratedFile> files = GenerateTree(seed, megabytes * 1'000'000);
    std::uint64_t totalBytes = 0;
    for (const auto& file : files) {
        fs::path host = work / "tree";
        std::string relative = file.path;
        for (char& c : relative) c = c == '\\' ? '/' : c;
        host /= relative;
        fs::create_directories(host.parent_path());
        std::ofstream(host, std::ios::binary)
            .write(file.content.data(), static_cast<std::streamsize>(file.content.size()));
        totalBytes += file.content.size();
    }
    std::printf("tree: %zu files, %.1f MB, seed %u, in %s\n", files.size(), totalBytes / 1e6, seed,
                work.c_str());

    using Clock = std::chrono::steady_clock;
    double pack = 1e9, extractToDisk = 1e9, plainWrites = 1e9, extractToMemory = 1e9,
           zlibCompress = 1e9, zlibDecompress = 1e9;
    std::uint64_t archiveBytes = 0, zlibBytes = 0;
    for (int run = 0; run < runs; ++run) {
        fs::remove_all(work / "out");
        // Pack, from the files on disk, as the installer does.
        HpiWriter writer;
        for (const auto& file : files) {
            std::string relative = file.path;
            for (char& c : relative) c = c == '\\' ? '/' : c;
            writer.AddFile(file.path, work / "tree" / relative);
        }
        auto start = Clock::now();
        writer.Write(work / "bench.hpi");
        pack = std::min(pack, Seconds(Clock::now() - start));
        archiveBytes = fs::file_size(work / "bench.hpi");

        // Extract every file to disk (a temporary file flushed and renamed for each, as the
        // installer does), then decode every file to memory only.
        HpiReader reader = HpiReader::Open(work / "bench.hpi");
        start = Clock::now();
        for (const HpiEntry& entry : reader.entries()) {
            std::string relative = entry.path;
            for (char& c : relative) c = c == '\\' ? '/' : c;
            fs::path destination = work / "out" / relative;
            if (entry.directory) {
                fs::create_directories(destination);
            } else {
                reader.ExtractToFile(entry, destination);
            }
        }
        extractToDisk = std::min(extractToDisk, Seconds(Clock::now() - start));
        std::uint64_t decoded = 0;
        start = Clock::now();
        for (const HpiEntry& entry : reader.entries()) {
            if (!entry.directory)
                reader.Extract(entry, [&](const unsigned char*, size_t size) { decoded += size; });
        }
        extractToMemory = std::min(extractToMemory, Seconds(Clock::now() - start));
        if (decoded != totalBytes) {
            std::fprintf(stderr, "decoded %llu bytes, expected %llu\n",
                         static_cast<unsigned long long>(decoded),
                         static_cast<unsigned long long>(totalBytes));
            return 1;
        }

        // The same files written from memory with plain writes: what the file system alone costs.
        fs::remove_all(work / "plain");
        start = Clock::now();
        for (const auto& file : files) {
            std::string relative = file.path;
            for (char& c : relative) c = c == '\\' ? '/' : c;
            fs::path destination = work / "plain" / relative;
            fs::create_directories(destination.parent_path());
            std::ofstream(destination, std::ios::binary)
                .write(file.content.data(), static_cast<std::streamsize>(file.content.size()));
        }
        plainWrites = std::min(plainWrites, Seconds(Clock::now() - start));

        // Plain zlib, level 6 (the default), one stream per file, in memory.
        std::vector<std::vector<unsigned char>> packed(files.size());
        zlibBytes = 0;
        start = Clock::now();
        for (size_t i = 0; i < files.size(); ++i) {
            uLongf length = compressBound(static_cast<uLong>(files[i].content.size()));
            packed[i].resize(length);
            compress2(packed[i].data(), &length,
                      reinterpret_cast<const Bytef*>(files[i].content.data()),
                      static_cast<uLong>(files[i].content.size()), Z_DEFAULT_COMPRESSION);
            packed[i].resize(length);
            zlibBytes += length;
        }
        zlibCompress = std::min(zlibCompress, Seconds(Clock::now() - start));
        std::vector<unsigned char> output;
        start = Clock::now();
        for (size_t i = 0; i < files.size(); ++i) {
            output.resize(files[i].content.size());
            uLongf length = static_cast<uLongf>(output.size());
            if (uncompress(output.data(), &length, packed[i].data(),
                           static_cast<uLong>(packed[i].size())) != Z_OK ||
                length != output.size()) {
                std::fprintf(stderr, "zlib failed to decompress file %zu\n", i);
                return 1;
            }
        }
        zlibDecompress = std::min(zlibDecompress, Seconds(Clock::now() - start));
    }

    std::printf("archive: %.1f MB (%.1f%% of the input); plain zlib streams: %.1f MB (%.1f%%)\n",
                archiveBytes / 1e6, 100.0 * archiveBytes / totalBytes, zlibBytes / 1e6,
                100.0 * zlibBytes / totalBytes);
    std::printf("%-34s %8.1f MB/s  %6.2f s\n", "pack (files -> archive on disk)",
                MegabytesPerSecond(totalBytes, pack), pack);
    std::printf("%-34s %8.1f MB/s  %6.2f s\n", "plain zlib compress (in memory)",
                MegabytesPerSecond(totalBytes, zlibCompress), zlibCompress);
    std::printf("%-34s %8.1f MB/s  %6.2f s\n", "extract (archive -> files on disk)",
                MegabytesPerSecond(totalBytes, extractToDisk), extractToDisk);
    std::printf("%-34s %8.1f MB/s  %6.2f s\n", "plain file writes (memory -> disk)",
                MegabytesPerSecond(totalBytes, plainWrites), plainWrites);
    std::printf("%-34s %8.1f MB/s  %6.2f s\n", "extract (archive -> memory)",
                MegabytesPerSecond(totalBytes, extractToMemory), extractToMemory);
    std::printf("%-34s %8.1f MB/s  %6.2f s\n", "plain zlib decompress (in memory)",
                MegabytesPerSecond(totalBytes, zlibDecompress), zlibDecompress);
    std::printf("best of %d runs each\n", runs);
    std::printf(
        "our time / plain zlib's: pack %.2f, extract to disk %.2f, extract to memory %.2f\n",
        pack / zlibCompress, extractToDisk / zlibDecompress, extractToMemory / zlibDecompress);

    if (keep.empty()) fs::remove_all(work);
    return 0;
}
