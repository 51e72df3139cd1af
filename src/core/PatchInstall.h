// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/InstallDisplay.h"
#include "core/InstallerState.h"
#include "core/MessageBox.h"

// The install procedure: checks the game's version, keeps a backup of rev31.gp3, lays the
// package's files over the game archive's in a work folder and packs that folder into a new
// rev31.gp3.
namespace kelmora {

// Installs the package of `state.packageFolder` into `state.gameFolder`, showing its progress on
// `display` and reporting each failing step through `messages`; sets `state.installFailed` when
// the install did not succeed. Before changing anything it ends the program after telling why
// when another run is changing the game folder, when a game file has another size (the version
// conflict), or when rev31.gp3 or KELMORA.UFO is there in two spellings; a game folder or game
// file that cannot be read there raises its RuntimeError to the caller.
void InstallPatch(InstallerState& state, InstallDisplay& display, MessageBoxSeam& messages);

// The install without the version check, for a game archive of any size (the benchmark's).
void InstallPatchAfterVersionCheck(InstallerState& state, InstallDisplay& display,
                                   MessageBoxSeam& messages);

// The message that tells the user how the install went.
Message InstallOutcomeMessage(const InstallerState& state);

}  // namespace kelmora
