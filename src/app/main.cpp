#include <memory>
#include <optional>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/ProgramEnd.h"

int main(int argc, char** argv) {
    if (std::optional<int> status = kelmora::RunCommandLine(argc, argv)) return *status;
    kelmora::Application app(argc, argv);
    std::unique_ptr<kelmora::Form1> mainWindow;
    try {
        mainWindow = std::make_unique<kelmora::Form1>();
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
