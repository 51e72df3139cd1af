#pragma once

#include <string>

namespace kelmora {

// Where the game's setup leaves the game folder.
inline constexpr const char* kGameUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Total Annihilation";
inline constexpr const char* kGameFolderValue = "Dir";

// The text value `valueName` of the machine's registry key `keyPath`, as stored; empty when the
// key or value is missing, unreadable, empty or not a text. No failure is reported: the user then
// types the folder.
std::string ReadRegistryText(const std::string& keyPath, const std::string& valueName);

}  // namespace kelmora
