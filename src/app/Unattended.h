// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/CommandLine.h"

// The program without windows: the same install and control-panel actions, answered Yes, told
// on the terminal.
namespace kelmora {

// Runs the unattended mode and returns its exit status when it ends by itself; most runs end
// the program from inside, with status 0 for success and 1 for a failure.
int RunUnattended(const CommandLine& line);

}  // namespace kelmora
