// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/MessageBox.h"

// The control panel's three actions on an installed game folder, free of windows so that the
// panel and the unattended mode run the same code.
namespace kelmora {

enum class PanelAction { kUninstall, kDisable, kEnable };

// True when the patch is parked (gameFolder + "\Orv_Backup\rev31.mod" exists): the panel then
// offers Enable instead of Disable.
bool PanelOffersEnable(const std::string& gameFolder);

// Why RunPanelAction returned: the user answered No; the file the action restores from is missing
// or is not a whole archive (the message says which); or the action was refused (another run is
// changing the game folder, a file it works on is there in two spellings, or the patch is disabled
// already). In every case nothing on disk was changed.
enum class PanelOutcome { kDeclined, kSourceMissing, kSourceDamaged, kRefused };

// Asks the action's question, carries out its file operations under the game folder's lock,
// shows the success message and ends the program with status 0. SIGINT, SIGTERM and SIGHUP stop
// it before its change, or (disable) between its two copies, with run-time error 18. An uninstall
// whose backup folder could not be deleted once the original was back shows what is left, with the
// stop icon, instead of the success message. Returns only when nothing was changed. A failing file
// operation raises RuntimeError; the caller reports it as an uncaught run-time error.
PanelOutcome RunPanelAction(PanelAction action, const std::string& gameFolder,
                            MessageBoxSeam& messages);

}  // namespace kelmora
