// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "core/InstallDisplay.h"
#include "core/MessageBox.h"

namespace kelmora {

// An install run, given the display and message box it is to use.
using InstallProcedure = std::function<void(InstallDisplay&, MessageBoxSeam&)>;

// Runs `install` on a thread of its own while the calling thread, the windows', goes on handling
// events (painting, exposure), and returns when it ends. The run's display calls and message
// boxes are carried out on the calling thread, on `display` and `messages`, while the run waits:
// a message box is answered before the run goes on; the percentage and the bar are handed over
// when the run repaints and they changed, the action text at once. What escapes the run (a
// RuntimeError, or ProgramEnded from EndProgram, which unwinds the run's thread) is rethrown
// here once that thread has ended.
void RunInstallOffGuiThread(const InstallProcedure& install, InstallDisplay& display,
                            MessageBoxSeam& messages);

}  // namespace kelmora
