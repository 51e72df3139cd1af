// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "discovery/GameFolderSearch.h"

namespace kelmora {

// Where the game's setup leaves the game folder.
inline constexpr const char* kGameUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation";
inline constexpr const char* kGameFolderValue = "Dir";

// The text value `valueName` of the machine's registry key `keyPath`, as stored; empty when the
// key or value is missing, unreadable, empty or not a text. No failure is reported: the user then
// types the folder.
std::string ReadRegistryText(const std::string& keyPath, const std::string& valueName);

// At start-up, away from Windows: makes the first Wine prefix whose registry names the game the
// one the program uses from then on, for the registry and for drive letters (only $WINEPREFIX
// when it is set). Returns a line per prefix asked, in order, saying what it holds:
// "/home/ann/.wine (Wine): the prefix has no system.reg". On Windows the registry is the
// machine's own: nothing to choose, no lines.
std::vector<std::string> ChooseGamePrefix();

// The bounded search for folders holding the game's files, for when no registry names one
// (nothing on Windows, where the game's setup always writes the registry).
GameFolderSearch SearchForGameFolders();

// The folder the search finds when it finds exactly one; nothing when it finds none or several.
std::optional<FoundGameFolder> OnlyGameFolderFound();

}  // namespace kelmora
