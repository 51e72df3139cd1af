// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/DemoSandbox.h"
#include "hpi/HPIUtil.h"
#include "support/TempDir.h"

namespace kelmora::testing {

inline constexpr std::uintmax_t kTotala1Size = 32311035;
inline constexpr std::uintmax_t kCcdataSize = 25871597;
inline constexpr std::uintmax_t kRev31Size = 5481280;

// A game folder with the three game files at their released sizes (rev31.gp3 a real archive
// padded to size) and a package folder holding KELMORA.UFO.
class GameSandbox {
public:
    // In a fresh folder of the system's temporary folder, or of `parent`.
    GameSandbox(const std::vector<ArchiveEntry>& game, const std::vector<ArchiveEntry>& package,
                const std::filesystem::path& parent = std::filesystem::temp_directory_path())
        : root(parent), gameFolder(root / "game"), packageFolder(root / "package") {
        std::filesystem::create_directories(gameFolder);
        std::filesystem::create_directories(packageFolder);
        PadFile(gameFolder / "totala1.hpi", kTotala1Size);
        PadFile(gameFolder / "ccdata.ccx", kCcdataSize);
        WriteArchive(GameArchive(), game);
        PadFile(GameArchive(), kRev31Size);
        WriteArchive(Package(), package);
    }

    std::filesystem::path GameArchive() const { return gameFolder / "rev31.gp3"; }
    std::filesystem::path Package() const { return packageFolder / "KELMORA.UFO"; }
    std::filesystem::path WorkFolder() const { return gameFolder / "Orv_Rev31"; }
    std::filesystem::path BackupFolder() const { return gameFolder / "Orv_Backup"; }

    TempDir root;
    std::filesystem::path gameFolder;
    std::filesystem::path packageFolder;
};

// `count` files of a few kilobytes each in folders of a hundred, under `top` ("" or "rev31.gp3").
inline std::vector<ArchiveEntry> ManyFiles(const std::string& top, int count) {
    std::vector<ArchiveEntry> entries;
    for (int file = 0; file < count; ++file) {
        const std::string folder = top + "units" + std::to_string(file / 100);
        if (file % 100 == 0) entries.push_back({folder, std::nullopt});
        std::string content;
        for (int line = 0; line < 60; ++line) {
            content += "Unit" + std::to_string(file) + " weapon" +
                       std::to_string(line * file % 97) + "=" + std::to_string(line * 7919 % 1000) +
                       ";\n";
        }
        entries.push_back({folder + "\\unit" + std::to_string(file) + ".fbi", content});
    }
    return entries;
}

// The entries of an archive as the library lists them: name and whether it is a directory.
inline std::vector<std::pair<std::string, bool>> ArchiveListing(
    const std::filesystem::path& archive) {
    std::vector<std::pair<std::string, bool>> listing;
    HpiHandle handle = HPIOpen(archive.string().c_str());
    if (handle == 0) return listing;
    char name[kHpiNameBufferSize + 1] = {};
    std::int32_t type = 0;
    std::int32_t size = 0;
    for (std::int32_t next = HPIGetFiles(handle, 0, name, &type, &size); next != 0;
         next = HPIGetFiles(handle, next, name, &type, &size)) {
        listing.emplace_back(name, type == 1);
    }
    HPIClose(handle);
    return listing;
}

// The content of one archive entry, read through the library.
inline std::string ArchiveEntryContent(const std::filesystem::path& archive,
                                       const std::string& name) {
    TempDir scratch;
    HpiHandle handle = HPIOpen(archive.string().c_str());
    const std::filesystem::path out = scratch / "entry";
    const bool extracted = HPIExtractFile(handle, name.c_str(), out.string().c_str()) != 0;
    HPIClose(handle);
    return extracted ? ReadFile(out) : "<missing " + name + ">";
}

// Renames every directory called `from` in an archive's directory block to `to` (same length):
// how a test makes an archive with names our own writer refuses to write.
inline void RenameInArchive(const std::filesystem::path& archive, const std::string& from,
                            const std::string& to) {
    std::string bytes = ReadFile(archive);
    const std::string stored = from + '\0';
    for (std::size_t at = bytes.find(stored); at != std::string::npos;
         at = bytes.find(stored, at)) {
        bytes.replace(at, from.size(), to);
    }
    WriteFile(archive, bytes);
}

}  // namespace kelmora::testing
