#include <memory>
#include <optional>

#include "app/CommandLine.h"
#include "core/ProgramEnd.h"
#include "ui/Application.h"
#include "ui/InstallerWindow.h"

int main(int argc, char** argv) {
    if (std::optional<int> status = kelmora::RunCommandLine(argc, argv)) return *status;
    kelmora::Application app(argc, argv);
    kelmora::InstallerState state;
    std::unique_ptr<kelmora::InstallerWindow> mainWindow;
    try {
        mainWindow = std::make_unique<kelmora::InstallerWindow>(state);
        // A main window that handed over to the control panel is unloaded, never shown.
        if (mainWindow->Load())
            mainWindow->show();
        else
            mainWindow.reset();
    } catch (const kelmora::RuntimeError& error) {
        kelmora::ReportUncaughtError(error);
    }
    return app.exec();
}
