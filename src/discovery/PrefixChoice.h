// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/WinePrefixes.h"

// Which Wine prefix's registry names the game, and why the others do not. This sits beside the
// registry functions rather than in them: they keep Windows's result codes, where every one of
// these reasons is just "not found". Not built on Windows.
namespace kelmora {

// The registry value that names the game folder.
struct RegistryEntryName {
    std::string keyPath;  // below HKEY_LOCAL_MACHINE, as the program opens it
    std::string valueName;
};

// What a prefix says of the game: it names its folder, or why it does not.
enum class PrefixFinding {
    GameNamed,
    NoPrefixFolder,
    NoRegistryFile,
    UnreadableRegistry,  // unreadable, too large, or not a Wine registry file
    NoGameEntry,         // no such key or value, an empty text, or no text at all
};

struct PrefixCheck {
    KnownPrefix prefix;
    PrefixFinding finding = PrefixFinding::NoPrefixFolder;
    std::string gameFolder;  // as stored (a drive path such as "C:\Cavedog\TotalA"), when named
};

struct PrefixChoice {
    std::vector<PrefixCheck> checks;  // in the order made; a prefix that names the game ends them

    // The check that named the game, or null when none did.
    const PrefixCheck* Chosen() const;
};

// A sentence part for the command line: "the prefix folder does not exist".
std::string_view DescribeFinding(PrefixFinding finding);

// Reads `prefix`'s system.reg as the registry functions do: the 32-bit view first, then the
// 64-bit one; only a text value counts, up to its first NUL.
PrefixCheck CheckPrefix(const KnownPrefix& prefix, const RegistryEntryName& entry);

// Checks `prefixes` in order until one names the game.
PrefixChoice ChoosePrefix(const std::vector<KnownPrefix>& prefixes, const RegistryEntryName& entry);

// At start-up. With WINEPREFIX set, that prefix alone is checked and stays the one used. Without
// it, the prefixes under the home folder are checked in order, and the first that names the game
// becomes the one WinePrefix() gives, so the registry functions and the drive letters both use
// it; when none does, ~/.wine stays in use.
PrefixChoice SelectWinePrefix(const RegistryEntryName& entry);

}  // namespace kelmora
