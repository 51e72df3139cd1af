// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/MessageBox.h"

namespace kelmora {

namespace {
std::function<void(int)> programEndHook;
thread_local bool endUnwindsThisThread = false;
}  // namespace

void SetProgramEndHook(std::function<void(int)> hook) {
    programEndHook = std::move(hook);
}

ProgramEndUnwindsThisThread::ProgramEndUnwindsThisThread() : previous_(endUnwindsThisThread) {
    endUnwindsThisThread = true;
}

ProgramEndUnwindsThisThread::~ProgramEndUnwindsThisThread() {
    endUnwindsThisThread = previous_;
}

void EndProgram(int status) {
    if (endUnwindsThisThread) throw ProgramEnded{status};
    if (programEndHook) {
        programEndHook(status);
        throw std::logic_error("the program-end hook returned");
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

void ReportUncaughtError(const RuntimeError& error) {
    Message report;
    report.text = "Run-time error '" + std::to_string(error.number()) + "':\r\r" +
                  error.description() + (error.path().empty() ? "" : ": " + error.path());
    report.icon = MsgIcon::kCritical;
    CurrentMessageBox().Show(report);
    EndProgram(1);
}

}  // namespace kelmora
