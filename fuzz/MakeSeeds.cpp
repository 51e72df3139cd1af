// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpora of the fuzz targets into a folder, one subfolder per target, from
// archives our own writer makes and registry texts written here: the fuzzers start from inputs
// that reach deep into each reader instead of guessing the formats from nothing.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "hpi/HpiFormat.h"
#include "hpi/HpiWriter.h"
#include "hpi/Lz77.h"

namespace fs = std::filesystem;
using namespace kelmora;
using namespace kelmora::hpi;

namespace {

void Save(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Load(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Repeated(const std::string& piece, size_t size) {
    std::string out;
    while (out.size() < size) out += piece;
    out.resize(size);
    return out;
}

// Bytes that compress only a little: a fixed pseudo-random sequence.
std::string Noise(size_t size, std::uint32_t seed) {
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

std::string Archive(
    const fs::path& scratch, Compression compression,
    const std::vector<std::pair<std::string, std::optional<std::string>>>& entries) {
    HpiWriter writer;
    for (const auto& [name, content] : entries) {
        if (content) {
            writer.AddFileFromMemory(name, *content);
        } else {
            writer.AddDirectory(name);
        }
    }
    const fs::path file = scratch / "archive.hpi";
    writer.Write(file, compression);
    return Load(file);
}

// The same archive under the whole-file cipher with `key`.
std::string Enciphered(std::string bytes, std::uint32_t key) {
    auto* b = reinterpret_cast<unsigned char*>(bytes.data());
    WriteU32(b + kHeaderKey, key);
    ApplyHeaderCipher(HeaderCipherByte(key), 0, b, bytes.size());
    return bytes;
}

// Replaces every stored name `from` (NUL included) by `to` of the same length.
std::string Renamed(std::string bytes, const std::string& from, const std::string& to) {
    const std::string stored = from + '\0';
    for (size_t at = bytes.find(stored); at != std::string::npos; at = bytes.find(stored, at + 1)) {
        bytes.replace(at, from.size(), to);
    }
    return bytes;
}

void ArchiveSeeds(const fs::path& out, const fs::path& scratch) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> game = {
        {"Scripts", std::nullopt},     {"Scripts\\ArmCom.cob", "script " + Repeated("abc", 300)},
        {"anims", std::nullopt},       {"anims\\empty.gaf", ""},
        {"anims\\deep", std::nullopt}, {"anims\\deep\\x.txt", "deep file"},
        {"Root.txt", "root file"},     {"two chunks.bin", Repeated("TA! ", 65536 + 300)},
        {"noise.bin", Noise(700, 7)},
    };
    const std::vector<std::pair<std::string, std::optional<std::string>>> package = {
        {"rev31.gp3", std::nullopt},
        {"rev31.gp3\\scripts", std::nullopt},
        {"rev31.gp3\\scripts\\armcom.COB", "package armcom"},
        {"rev31.gp3\\unitpics\\ARM COMMANDER.PCX", Noise(200, 3)},
        {"docs\\read me.txt", "not for the game"},
    };
    const std::string zlib = Archive(scratch, Compression::kZlib, game);
    Save(out / "game-zlib.hpi", zlib);
    Save(out / "game-lz77.hpi", Archive(scratch, Compression::kLz77, game));
    // Stored data is as long as the file: the small files only, to keep the seed short.
    auto small = game;
    std::erase_if(small,
                  [](const auto& entry) { return entry.second && entry.second->size() > 1000; });
    Save(out / "game-stored.hpi", Archive(scratch, Compression::kStored, small));
    Save(out / "game-enciphered.hpi", Enciphered(zlib, 0x7D));
    Save(out / "package-zlib.hpi", Archive(scratch, Compression::kZlib, package));
    Save(out / "package-lz77-enciphered.hpi",
         Enciphered(Archive(scratch, Compression::kLz77, package), 0xAF));
    Save(out / "empty.hpi", Archive(scratch, Compression::kZlib, {}));
    // Names our writer refuses, put in by hand: the reader must list them as unsafe.
    Save(out / "escaping-names.hpi",
         Renamed(Renamed(zlib, "anims", "..\\.."), "Root.txt", "C:\\x.txt"));
}

void ChunkSeeds(const fs::path& out) {
    auto sizePrefix = [](size_t size) {
        std::string prefix(2, '\0');
        prefix[0] = static_cast<char>((size - 1) & 0xFF);
        prefix[1] = static_cast<char>((size - 1) >> 8);
        return prefix;
    };
    const std::vector<std::string> samples = {"a", "hello hello hello hello",
                                              Repeated("0123456789", 4000), Noise(3000, 11)};
    int n = 0;
    for (const std::string& sample : samples) {
        auto in = reinterpret_cast<const unsigned char*>(sample.data());
        std::vector<unsigned char> lz = lz77::Encode(in, sample.size());
        const std::string lzText(lz.begin(), lz.end());
        Save(out / ("lz77-raw-" + std::to_string(n) + ".bin"),
             std::string(1, '\0') + sizePrefix(sample.size()) + lzText);

        std::string ciphered = lzText;
        EncodeChunkCipher(reinterpret_cast<unsigned char*>(ciphered.data()), ciphered.size());
        Save(out / ("lz77-framed-" + std::to_string(n) + ".bin"),
             std::string(1, '\1') + std::string(1, '\2') + sizePrefix(sample.size()) + ciphered);

        std::vector<unsigned char> z(compressBound(sample.size()));
        uLongf zSize = z.size();
        compress2(z.data(), &zSize, in, sample.size(), Z_DEFAULT_COMPRESSION);
        std::string zText(z.begin(), z.begin() + zSize);
        Save(out / ("zlib-framed-" + std::to_string(n) + ".bin"),
             std::string(1, '\1') + std::string(1, '\1') + sizePrefix(sample.size()) + zText);
        Save(out / ("round-trip-" + std::to_string(n) + ".bin"), std::string(1, '\2') + sample);
        ++n;
    }
}

void RegistrySeeds(const fs::path& out) {
    const std::string header =
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
    Save(out / "game-key.reg", header +
                                   "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstal"
                                   "l\\\\Total Annihilation] 1700000000\n"
                                   "#time=1d9e1f2a3b4c5d6\n"
                                   "@=\"default\"\n"
                                   "\"Dir\"=\"C:\\\\Cavedog\\\\TotalA\"\n"
                                   "\"Accents\"=\"C:\\\\Jeux\\\\D\\xe9j\\xe0\"\n"
                                   "\"Octal\"=\"a\\101\\tb\\n\"\n"
                                   "\"Count\"=dword:0000002a\n"
                                   "\"Raw\"=hex:01,02,ab,\\\n  ff,00\n"
                                   "\"Expand\"=str(2):\"%ProgramFiles%\\\\TA\"\n"
                                   "\"Multi\"=str(7):\"one\\0two\\0\"\n"
                                   "\"Typed\"=hex(b):00,00,00,00,01,00,00,00\n"
                                   "\"Quoted \\\"name\\\"\"=\"x\"\n");
    Save(out / "wow64.reg", header +
                                "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion"
                                "\\\\Uninstall\\\\Total Annihilation] 1700000000\n"
                                "\"Dir\"=\"D:\\\\Games\\\\TA\"\n"
                                "[Software\\\\Test\\[Bracket\\]] 1700000000\n"
                                "\"X\"=\"y\"\n");
    Save(out / "link.reg", header +
                               "[Software\\\\Classes\\\\Wow6432Node] 1700000000\n"
                               "#link\n"
                               "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,"
                               "74,00,72,00,79,00,5c,00,4d,00,\\\n"
                               "  "
                               "61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,74,00,"
                               "77,00,61,00,72,00,65,00\n"
                               "[Software\\\\Wow6432Node] 1700000000\n"
                               "#link\n"
                               "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,"
                               "74,00,72,00,79,00,5c,00,4d,00,\\\n"
                               "  "
                               "61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,74,00,"
                               "77,00,61,00,72,00,65,00\n");
    Save(out / "damaged.reg",
         header + "[Software\\\\Open\n\"Dir\"=\"unclosed\n\"N\"=dword:xyz\n\"H\"=hex:1ff\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path scratch = out / ".scratch";
    fs::create_directories(scratch);
    ArchiveSeeds(out / "hpi_reader", scratch);
    ChunkSeeds(out / "hpi_chunks");
    RegistrySeeds(out / "wine_registry");
    fs::remove_all(scratch);
    return 0;
}
