#pragma once

#include "app/MessageBox.h"
#include "install/InstallDisplay.h"

// The install procedure: checks the game's version, keeps a backup of rev31.gp3, lays the
// package's files over the game archive's in a work folder and packs that folder into a new
// rev31.gp3. Reads TADir and UfoDir; sets InstallErrors when the install did not succeed.
namespace kelmora {

// Runs the whole install on `display`, reporting each failing step through `messages`. A game
// file of another size shows the version conflict and ends the program; a game file that cannot
// be read there raises its RuntimeError to the caller.
void Rev31Update(InstallDisplay& display, MessageBoxSeam& messages);

// The install without the version check, for a game archive of any size (the benchmark's).
void Rev31UpdateAfterVersionCheck(InstallDisplay& display, MessageBoxSeam& messages);

// The message that tells the user how the install went, chosen by InstallErrors.
Message InstallOutcomeMessage();

}  // namespace kelmora
