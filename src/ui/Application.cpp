#include "ui/Application.h"

#include "core/ProgramEnd.h"
#include "ui/ProgramIcon.h"
#include "ui/WindowStyle.h"

namespace kelmora {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv), previousMessageBox_(SetCurrentMessageBox(&messageBox_)) {
    setApplicationName(kAppTitle);
    // Wayland matches the windows to the desktop entry, and so to its icon, by this name.
    setDesktopFileName(QStringLiteral("io.github.kelmora.Installer"));
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
