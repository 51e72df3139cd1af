// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/MessageBox.h"
#include "platform/FolderLock.h"

// What every run that changes a game folder makes sure of before its first change: that no other
// run is changing the folder, and that each file it works on is there in one spelling only.
namespace kelmora {

// The game folder's lock; nothing, after telling the player so with the stop icon, when another
// run holds it. `cannot` completes "Orvald's Kelmora cannot be ..." ("installed", "removed").
std::optional<FolderLock> LockGameFolder(const std::string& gameFolder,
                                         const std::string& shownFolder, const char* cannot,
                                         MessageBoxSeam& messages);

// The paths of the files in `folder` named `name` without regard to case, when there are two or
// more: the game and this program take such files for one, so neither can tell which is meant.
std::vector<std::string> SpellingTwins(const std::string& folder, std::string_view name);

// Tells the player, with the stop icon, that the run stops before changing anything because of
// `twins`.
void ReportSpellingTwins(const std::vector<std::string>& twins, const char* cannot,
                         MessageBoxSeam& messages);

}  // namespace kelmora
