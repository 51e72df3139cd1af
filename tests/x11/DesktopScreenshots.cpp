// Saves each window of the program, with the window manager's frame, as the screen of a real X
// server shows it in Qt's "Windows" style:
//   tests/x11/run-in-desktop build/bin/kelmora-desktop-screenshots DIR
// The install window comes last: it runs an install on a game folder whose archives are empty
// files, is saved when that install's first message box comes up, and its end ends this program.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "core/InstallerState.h"
#include "core/MessageBox.h"
#include "core/ProgramEnd.h"
#include "support/X11Desktop.h"
#include "ui/Application.h"
#include "ui/ControlPanelWindow.h"
#include "ui/HelpWindow.h"
#include "ui/InstallProgressWindow.h"
#include "ui/InstallerWindow.h"
#include "ui/ReleaseNotesDialog.h"

namespace {

using kelmora::testing::X11Desktop;

bool Save(X11Desktop& desktop, QWidget& window, const QDir& folder, const char* name) {
    window.show();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (desktop.WaitUntilManaged(window) && QTest::qWaitForWindowActive(&window) &&
        desktop.Grab(desktop.FrameRect(window)).save(path)) {
        return true;
    }
    std::fprintf(stderr, "kelmora-desktop-screenshots: cannot save %s\n", qPrintable(path));
    return false;
}

// Saves the install window when the install asks its first question, then answers everything.
class SaveInstallWindow : public kelmora::MessageBoxSeam {
public:
    SaveInstallWindow(X11Desktop& desktop, QWidget& window, const QDir& folder)
        : desktop_(desktop), window_(window), folder_(folder) {}

    kelmora::MsgAnswer Show(const kelmora::Message&) override {
        if (!saved_ && !(saved_ = Save(desktop_, window_, folder_, "install-window.png"))) {
            kelmora::EndProgram(EXIT_FAILURE);
        }
        return kelmora::MsgAnswer::kOk;
    }

private:
    X11Desktop& desktop_;
    QWidget& window_;
    const QDir& folder_;
    bool saved_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    kelmora::Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelmora-desktop-screenshots DIR\n");
        return 2;
    }
    X11Desktop desktop;
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir gameFolder;
    if (!desktop.IsUsable() || !folder.mkpath(QStringLiteral(".")) || !gameFolder.isValid()) {
        std::fprintf(stderr, "kelmora-desktop-screenshots: needs an X server and %s\n", argv[1]);
        return 1;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));

    bool saved = true;
    kelmora::InstallerState state;
    kelmora::InstallerWindow mainWindow(state);
    mainWindow.Load();
    saved &= Save(desktop, mainWindow, folder, "main-window.png");
    {
        kelmora::ReleaseNotesDialog releaseNotes(&mainWindow);
        saved &= Save(desktop, releaseNotes, folder, "release-notes.png");
    }
    {
        kelmora::HelpWindow help(&mainWindow);
        saved &= Save(desktop, help, folder, "help.png");
    }
    {
        kelmora::ControlPanelWindow controlPanel(gameFolder.path().toStdString());
        saved &= Save(desktop, controlPanel, folder, "control-panel.png");
    }
    if (!saved) return 1;

    for (const char* name : {"totala1.hpi", "ccdata.ccx", "rev31.gp3", "Kelmora.ufo"}) {
        QFile(gameFolder.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    }
    state.gameFolder = state.packageFolder = gameFolder.path().toStdString();
    kelmora::InstallProgressWindow installWindow(state, &mainWindow);
    SaveInstallWindow saveOnFirstMessage(desktop, installWindow, folder);
    kelmora::SetCurrentMessageBox(&saveOnFirstMessage);
    installWindow.exec();
    return EXIT_FAILURE;  // the install window ends the program itself
}
