#pragma once

#include <vector>

#include "app/Globals.h"
#include "app/MessageBox.h"
#include "install/GameSandbox.h"
#include "install/RecordingDisplay.h"
#include "install/Rev31Update.h"
#include "platform/RuntimeError.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora::reliability {

struct InstallResult {
    bool success = false;  // the outcome the user is told
    std::vector<Message> shown;
};

// Runs the install procedure on a sandbox as the install window does, every question answered.
inline InstallResult RunInstall(const testing::GameSandbox& sandbox) {
    TADir = sandbox.gameFolder.string();
    UfoDir = sandbox.packageFolder.string();
    InstallErrors = false;
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    testing::RecordingDisplay display;
    InstallResult result;
    try {
        Rev31Update(display, messages);
        result.success = !InstallErrors;
    } catch (const RuntimeError&) {
        // Reported as an uncaught run-time error: a failure.
    } catch (const ProgramEnded&) {
    }
    result.shown = messages.shown;
    return result;
}

}  // namespace kelmora::reliability
