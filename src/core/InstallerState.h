// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace kelmora {

// What one run of the program carries from window to window: the folders the player confirmed
// and how the install went. The windows and the unattended mode own it and hand it to the
// install procedure and the control panel.
struct InstallerState {
    // The game folder: a full path text, no trailing separator except on a drive root.
    std::string gameFolder;
    // The folder holding the package, in the same form; before the main window loads, the folder
    // of a package given on the command line, if any.
    std::string packageFolder;
    // Set by every failed extraction and by a run stopped before it replaced the game archive;
    // chooses the install's outcome message.
    bool installFailed = false;
    // What a successful install could not delete once the new archive was in place, each with
    // its error: named in the outcome.
    std::vector<std::string> leftBehind{};
};

}  // namespace kelmora
