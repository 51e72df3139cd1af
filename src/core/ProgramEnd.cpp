#include "core/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/MessageBox.h"

namespace kelmora {

namespace {
std::function<void(int)> programEndHook;
}  // namespace

void SetProgramEndHook(std::function<void(int)> hook) {
    programEndHook = std::move(hook);
}

void EndProgram(int status) {
    if (programEndHook) {
        programEndHook(status);
        throw std::logic_error("the program-end hook returned");
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

void ReportUncaughtError(const RuntimeError& error) {
    Message report;
    report.text =
        "Run-time error '" + std::to_string(error.number()) + "':\r\r" + error.description();
    report.icon = MsgIcon::kCritical;
    CurrentMessageBox().Show(report);
    EndProgram(1);
}

}  // namespace kelmora
