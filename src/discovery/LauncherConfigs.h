// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the game launchers' own files say about where Wine prefixes and game libraries are.
// These files belong to other programs: each reader takes only what it needs, and a damaged
// file yields nothing rather than an error.
namespace kelmora {

// The library folders in Steam's libraryfolders.vdf, in the order listed: the current form's
// numbered blocks with a "path", and the older form's numbered values.
std::vector<std::string> SteamLibraryPaths(std::string_view vdfText);

// What a Steam app manifest (steamapps/appmanifest_*.acf) says of a game: its app id, which names
// its Proton prefix (compatdata/ID), and its folder in steamapps/common.
struct SteamApp {
    std::string appId;  // digits only
    std::string installDir;
};
std::optional<SteamApp> SteamAppManifest(std::string_view acfText);

// The Wine prefix of a Lutris game's configuration (games/*.yml): `game:` → `prefix:`.
std::optional<std::string> LutrisGamePrefix(std::string_view ymlText);

// The Wine prefixes of a Heroic game's settings (GamesConfig/*.json): the `winePrefix` of each
// game the file holds, in the file's order.
std::vector<std::string> HeroicWinePrefixes(std::string_view jsonText);

}  // namespace kelmora
