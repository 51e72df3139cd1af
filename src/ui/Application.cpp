#include "ui/Application.h"

#include "core/ProgramEnd.h"
#include "ui/ProgramIcon.h"
#include "ui/WindowStyle.h"

namespace kelmora {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), previousMessageBox_(SetCurrentMessageBox(&messageBox_)) {
    setApplicationName(kAppTitle);
    setFont(ProgramFont());
    setWindowIcon(ProgramIcon());
}

Application::~Application() {
    SetCurrentMessageBox(previousMessageBox_);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const RuntimeError& error) {
        ReportUncaughtError(error);
    }
}

}  // namespace kelmora
