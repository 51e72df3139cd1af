// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

// Where Wine prefixes and Steam libraries are kept on a Linux desktop: the launchers' usual
// folders under the home folder and the folders their configuration files name. Not built on
// Windows, where the game's setup writes the real registry.
namespace kelmora {

// Who keeps a prefix.
enum class PrefixKeeper { Environment, Wine, Steam, Lutris, Heroic, Bottles };

struct KnownPrefix {
    std::filesystem::path folder;
    PrefixKeeper keeper;
};

// The name a person knows the keeper by ("Steam (Proton)").
std::string_view KeeperName(PrefixKeeper keeper);

// Steam's library folders: each Steam installation under `home` (native and Flatpak) and the
// libraries its libraryfolders.vdf lists; each folder that exists, once.
std::vector<std::filesystem::path> SteamLibraries(const std::filesystem::path& home);

// The Proton prefix Steam keeps for the game installed in `library`'s
// steamapps/common/`installDir`: compatdata/ID/pfx, ID from the app manifest naming that folder
// (without regard to letter case); nothing when no manifest names it or the prefix does not exist.
std::optional<std::filesystem::path> SteamProtonPrefix(const std::filesystem::path& library,
                                                       std::string_view installDir);

// The Wine prefixes under `home` in the order they are asked for the game: ~/.wine, Steam's
// Proton prefixes, Lutris's, Heroic's, Bottles'. Prefixes a configuration names are listed even
// when missing, so a person can be told so; folders found by looking are listed only when they
// look like prefixes. A Proton-style folder (one holding pfx/) stands for its pfx/. Each prefix
// once.
std::vector<KnownPrefix> KnownWinePrefixes(const std::filesystem::path& home);

}  // namespace kelmora
