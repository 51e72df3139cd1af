// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

#include "discovery/WinePrefixes.h"

// A bounded search for game folders, for when no registry names one: a fixed list of places,
// each walked a few levels deep without following links, with a cap on the folders visited.
// Not built on Windows.
namespace kelmora {

// A folder holding totala1.hpi, ccdata.ccx and rev31.gp3 (in any letter case).
struct FoundGameFolder {
    std::filesystem::path folder;
    // The prefix whose drive_c holds it, or for a Steam game the Proton prefix Steam keeps for it.
    std::optional<std::filesystem::path> prefix;
};

struct GameFolderSearch {
    std::vector<FoundGameFolder> folders;  // each once, in the order of the places searched
    bool cutShort = false;                 // a cap stopped the search before its end
};

struct SearchLimits {
    std::size_t foldersPerPlace = 4000;
    std::size_t foldersInAll = 40000;
};

// Searches, in this order: each prefix's drive_c (its windows folder left out) four levels
// deep, each Steam library's steamapps/common two levels deep, and ~/Games three levels deep.
GameFolderSearch SearchGameFolders(const std::filesystem::path& home,
                                   const std::vector<KnownPrefix>& prefixes,
                                   const SearchLimits& limits = {});

// SearchGameFolders over the home folder, with $WINEPREFIX (when set) before the prefixes
// found there.
GameFolderSearch SearchGameFoldersAtHome();

}  // namespace kelmora
