// Renders the program's windows to PNG files without a display, for the README and for review:
// kelmora-screenshots DIR. The main window is shown on a sandbox game folder of its own making.
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ui/Application.h"
#include "ui/ControlPanelWindow.h"
#include "ui/HelpWindow.h"
#include "ui/InstallProgressWindow.h"
#include "ui/InstallerWindow.h"
#include "ui/ReleaseNotesDialog.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A Wine prefix whose registry names C:\Games\TotalA, holding the three game files, and the
// package in C:\Downloads.
void MakeSandbox(const fs::path& prefix) {
    fs::create_directories(prefix / "drive_c");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    for (const char* name : {"totala1.hpi", "ccdata.ccx", "rev31.gp3"}) {
        WriteFile(prefix / "drive_c" / "Games" / "TotalA" / name, "");
    }
    WriteFile(prefix / "drive_c" / "Downloads" / "KELMORA.UFO", "");
    WriteFile(prefix / "system.reg",
              "WINE REGISTRY Version 2\n"
              ";; All keys relative to REGISTRY\\\\Machine\n\n"
              "#arch=win32\n\n"
              "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Total "
              "Annihilation] 1796686938\n"
              "\"Dir\"=\"C:\\\\Games\\\\TotalA\"\n");
}

bool Save(QWidget& window, const QDir& folder, const QString& name) {
    window.show();
    const QString path = folder.filePath(name);
    if (window.grab().save(path)) return true;
    std::fprintf(stderr, "kelmora-screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

// The credits box is the program's real message box, so it is saved from inside its own modal
// loop and then closed.
bool SaveCredits(kelmora::ControlPanelWindow& controlPanel, const QDir& folder) {
    bool saved = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box) return;
        saved = Save(*box, folder, QStringLiteral("control-panel-credits.png"));
        box->accept();
    });
    controlPanel.findChild<QAction*>(QStringLiteral("aboutAction"))->trigger();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    kelmora::Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelmora-screenshots DIR\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir sandbox;
    if (!folder.mkpath(QStringLiteral(".")) || !sandbox.isValid()) {
        std::fprintf(stderr, "kelmora-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    const fs::path prefix = fs::path(sandbox.path().toStdString()) / "prefix";
    MakeSandbox(prefix);
    qputenv("WINEPREFIX", prefix.c_str());

    bool saved = true;
    kelmora::InstallerState state;
    kelmora::InstallerWindow mainWindow(state);
    mainWindow.Load();
    mainWindow.findChild<QLineEdit*>(QStringLiteral("packageFolderField"))
        ->setText(QStringLiteral("C:\\Downloads"));
    saved &= Save(mainWindow, folder, QStringLiteral("main-window.png"));

    kelmora::ReleaseNotesDialog releaseNotes(&mainWindow);
    saved &= Save(releaseNotes, folder, QStringLiteral("release-notes.png"));

    kelmora::HelpWindow help(&mainWindow);
    help.findChild<QRadioButton*>(QStringLiteral("problemButton_1"))->setChecked(true);
    saved &= Save(help, folder, QStringLiteral("help.png"));

    // The control panel once the patch is in, then with the patch parked. The credits box runs a
    // modal loop, so this comes before the install window, whose activation would start the run.
    const fs::path game = prefix / "drive_c" / "Games" / "TotalA";
    WriteFile(game / "Orv_Backup" / "rev31.gp3", "");
    const std::string gameFolder = "C:\\Games\\TotalA";
    kelmora::ControlPanelWindow controlPanel(gameFolder);
    saved &= Save(controlPanel, folder, QStringLiteral("control-panel-disable.png"));
    saved &= SaveCredits(controlPanel, folder);
    WriteFile(game / "Orv_Backup" / "rev31.mod", "");
    kelmora::ControlPanelWindow parkedControlPanel(gameFolder);
    saved &= Save(parkedControlPanel, folder, QStringLiteral("control-panel-enable.png"));

    // Mid-install; the install itself never runs, as no event loop does.
    kelmora::InstallProgressWindow installWindow(state, &mainWindow);
    installWindow.SetAction("Extracting data from c:\\games\\totala\\rev31.gp3...");
    installWindow.SetPercentText("42%");
    installWindow.SetBar(42);
    saved &= Save(installWindow, folder, QStringLiteral("install-window.png"));
    return saved ? 0 : 1;
}
