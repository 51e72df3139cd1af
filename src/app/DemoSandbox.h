// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// A game folder to try the program on without owning the game: a Wine-style prefix whose
// registry names a game folder on its drive C, game files of the released sizes, and a demo
// package in a folder of its own.
namespace kelmora {

// One entry of an archive to build: a directory when it has no content.
struct ArchiveEntry {
    std::string name;
    std::optional<std::string> content;
};

// Writes an archive holding `entries`, in their order, with the archive library's writer. Raises
// HpiError when it cannot be written.
void WriteArchive(const std::filesystem::path& archive, const std::vector<ArchiveEntry>& entries);

// Pads (or makes) `file` with zero bytes to exactly `size` bytes; the zeros take no disk space
// where the file system allows. Archive readers ignore bytes after the data.
void PadFile(const std::filesystem::path& file, std::uintmax_t size);

// On Windows the prefix has no drive links (Windows has none to make): the registry names the
// game folder by its own path.
struct DemoSandbox {
    std::filesystem::path prefix;         // the Wine prefix: system.reg, dosdevices, drive_c
    std::filesystem::path gameFolder;     // in the prefix's drive C
    std::string gameFolderText;           // as the registry names it: "C:\Cavedog\TotalA"
    std::filesystem::path packageFolder;  // holds KELMORA.UFO
};

// The sandbox in `root`: built there when `root` holds none, else the one there, as it is.
DemoSandbox BuildDemoSandbox(const std::filesystem::path& root);

// Builds or reuses the sandbox in `root` (a new temporary folder when none is given), points
// WINEPREFIX at its prefix (on Windows: this process's HKEY_LOCAL_MACHINE at a key of the user's
// own naming the game folder) and makes its package folder the current folder, so the windows
// open on it. Raises std::exception when it cannot be built.
void EnterDemoSandbox(const std::optional<std::string>& root);

}  // namespace kelmora
