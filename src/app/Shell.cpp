#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "app/Globals.h"
#include "app/MessageBox.h"
#include "app/ProgramEnd.h"

namespace kelmora {

std::string TADir;
std::string UfoDir;
bool InstallErrors = false;

namespace {
MessageBoxSeam* currentMessageBox = nullptr;
std::function<void(int)> programEndHook;
}  // namespace

MessageBoxSeam& CurrentMessageBox() {
    if (!currentMessageBox) throw std::logic_error("no message box installed");
    return *currentMessageBox;
}

MessageBoxSeam* SetCurrentMessageBox(MessageBoxSeam* seam) {
    MessageBoxSeam* previous = currentMessageBox;
    currentMessageBox = seam;
    return previous;
}

void SetProgramEndHook(std::function<void(int)> hook) { programEndHook = std::move(hook); }

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
    report.text = "Run-time error '" + std::to_string(error.number()) + "':\r\r" + error.description();
    report.icon = MsgIcon::kCritical;
    CurrentMessageBox().Show(report);
    EndProgram(1);
}

}  // namespace kelmora
