// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "core/ProgramEnd.h"
#include "platform/Console.h"
#include "ui/Application.h"
#include "ui/InstallerWindow.h"

namespace {

// Opens the windows on the package folder given, if any; Qt is given the program's name and its
// own options only.
int OpenWindows(std::vector<std::string> qtArguments, std::optional<std::string> packageFolder) {
    std::vector<char*> argv;
    for (std::string& argument : qtArguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(qtArguments.size());
    kelmora::Application app(argc, argv.data());
    kelmora::InstallerState state;
    state.packageFolder = packageFolder.value_or("");
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

}  // namespace

int main(int argc, char** argv) {
    kelmora::UseParentConsole();
    return kelmora::RunReportingFailures("kelmora-installer", [&] {
        const kelmora::ProgramStart start =
            kelmora::RunCommandLine(kelmora::ProgramArguments(argc, argv));
        if (start.exitStatus) return *start.exitStatus;
        std::vector<std::string> qtArguments{argc > 0 ? argv[0] : "kelmora-installer"};
        qtArguments.insert(qtArguments.end(), start.qtOptions.begin(), start.qtOptions.end());
        return OpenWindows(std::move(qtArguments), start.packageFolder);
    });
}
