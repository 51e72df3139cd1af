// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "core/InstallerState.h"
#include "core/MessageBox.h"
#include "core/PatchInstall.h"
#include "platform/RuntimeError.h"
#include "support/GameSandbox.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora::reliability {

struct InstallResult {
    bool success = false;  // the outcome the user is told
    std::vector<Message> shown;
    std::vector<std::string> leftBehind;  // named in a success
};

// Runs the install procedure on a sandbox as the install window does, every question answered.
inline InstallResult RunInstall(const testing::GameSandbox& sandbox) {
    InstallerState state{sandbox.gameFolder.string(), sandbox.packageFolder.string()};
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    testing::RecordingDisplay display;
    InstallResult result;
    try {
        InstallPatch(state, display, messages);
        result.success = !state.installFailed;
    } catch (const RuntimeError&) {
        // Reported as an uncaught run-time error: a failure.
    } catch (const ProgramEnded&) {
    }
    result.shown = messages.shown;
    result.leftBehind = state.leftBehind;
    return result;
}

}  // namespace kelmora::reliability
