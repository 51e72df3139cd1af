// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/DemoSandbox.h"
#include "support/GameFolder.h"

// The archives the reliability tests install: a game archive with folders, a root file, an empty
// file and a file of two chunks; a package that replaces one game file (in another letter case),
// adds a folder and carries an entry outside its "rev31.gp3" folder.
namespace kelmora::reliability {

inline std::string Repeated(const std::string& piece, size_t size) {
    std::string out;
    while (out.size() < size) out += piece;
    out.resize(size);
    return out;
}

inline std::vector<ArchiveEntry> GameEntries() {
    return {
        {"Scripts", std::nullopt},
        {"Scripts\\ArmCom.cob", "game armcom"},
        {"Scripts\\CorCom.cob", "game corcom"},
        {"anims", std::nullopt},
        {"anims\\empty.gaf", ""},
        {"anims\\big.gaf", Repeated("big game file ", 70000)},
        {"Root.txt", "game root file"},
    };
}

inline std::vector<ArchiveEntry> PackageEntries() {
    return {
        {"rev31.gp3", std::nullopt},
        {"rev31.gp3\\scripts", std::nullopt},
        {"rev31.gp3\\scripts\\armcom.COB", "package armcom"},
        {"rev31.gp3\\unitpics", std::nullopt},
        {"rev31.gp3\\unitpics\\ARM COMMANDER.PCX", "package picture"},
        {"docs", std::nullopt},
        {"docs\\manual.txt", "not for the game"},
    };
}

// What a sound install of these two archives holds: the package's files laid over the game's.
inline std::vector<std::pair<std::string, std::string>> InstalledFiles() {
    return {
        {"scripts\\armcom.cob", "package armcom"},
        {"scripts\\corcom.cob", "game corcom"},
        {"anims\\empty.gaf", ""},
        {"anims\\big.gaf", Repeated("big game file ", 70000)},
        {"root.txt", "game root file"},
        {"unitpics\\arm commander.pcx", "package picture"},
    };
}

}  // namespace kelmora::reliability
