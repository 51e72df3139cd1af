// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/MessageBox.h"

// An install ended from outside (killed, the power cut) after it made its backup and before it
// replaced rev31.gp3 leaves the game folder looking installed: "Orv_Backup" holding a copy that is
// byte for byte rev31.gp3, beside the run's work folder or temporary files. The control panel would
// then offer to disable a patch that is not there.
namespace kelmora {

// When `gameFolder` holds such leftovers (and "Orv_Backup" holds nothing but that copy and
// temporary files of ours), removes them, the backup folder first and in one step, says once what
// was removed and returns true: the game is unpatched and the installer is what opens. Changes
// nothing and returns false otherwise, and while another run holds the game folder.
bool UndoInterruptedInstall(const std::string& gameFolder, MessageBoxSeam& messages);

}  // namespace kelmora
