// SPDX-License-Identifier: GPL-3.0-or-later
// Saves every window of the program, with the window manager's frame, as a real X server shows
// it (scripts/screenshots runs it on a desktop of its own), and the install window's action with
// a game folder 200 characters long:
//   tests/x11/run-in-desktop --metacity build/bin/kelmora-desktop-screenshots DIR
// The windows open on a Wine-style prefix of its own making, whose registry names
// C:\Games\TotalA, with the package in C:\Downloads. The install window comes last: a real install
// runs there, the screen is recorded meanwhile, and the picture is the first one that shows the
// game archive's extraction two fifths done; the install's end ends this program.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "core/InstallerState.h"
#include "core/MessageBox.h"
#include "core/ProgramEnd.h"
#include "support/GameSandbox.h"
#include "support/X11Desktop.h"
#include "ui/Application.h"
#include "ui/ControlPanelWindow.h"
#include "ui/HelpWindow.h"
#include "ui/InstallProgressWindow.h"
#include "ui/InstallerWindow.h"
#include "ui/ReleaseNotesDialog.h"

namespace {

namespace fs = std::filesystem;
using kelmora::testing::ScreenRecorder;
using kelmora::testing::X11Desktop;

// A Wine prefix whose registry names C:\Games\TotalA, holding the three game files at their
// released sizes (the game archive of a thousand files), and the package in C:\Downloads.
void MakeSandbox(const fs::path& prefix) {
    const fs::path driveC = prefix / "drive_c";
    const fs::path game = driveC / "Games" / "TotalA";
    fs::create_directories(game);
    fs::create_directories(driveC / "Downloads");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    kelmora::PadFile(game / "totala1.hpi", kelmora::testing::kTotala1Size);
    kelmora::PadFile(game / "ccdata.ccx", kelmora::testing::kCcdataSize);
    kelmora::WriteArchive(game / "rev31.gp3", kelmora::testing::ManyFiles("", 1000));
    kelmora::PadFile(game / "rev31.gp3", kelmora::testing::kRev31Size);
    kelmora::WriteArchive(driveC / "Downloads" / "KELMORA.UFO",
                          kelmora::testing::ManyFiles("rev31.gp3", 200));
    kelmora::testing::WriteFile(
        prefix / "system.reg",
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to REGISTRY\\\\Machine\n\n"
        "#arch=win32\n\n"
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Total "
        "Annihilation] 1796686938\n"
        "\"Dir\"=\"C:\\\\Games\\\\TotalA\"\n");
}

bool Saved(const QImage& picture, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (picture.save(path)) return true;
    std::fprintf(stderr, "kelmora-desktop-screenshots: cannot save %s\n", qPrintable(path));
    return false;
}

// Shows `window`, lets `keys` (X key names, one combination each) be pressed on it, and saves
// it, framed, once the screen shows what it painted.
bool Save(X11Desktop& desktop, QWidget& window, const QDir& folder, const char* name,
          const QStringList& keys = {}) {
    window.show();
    if (!desktop.WaitUntilManaged(window) || !QTest::qWaitForWindowActive(&window)) {
        std::fprintf(stderr, "kelmora-desktop-screenshots: %s never came up\n", name);
        return false;
    }
    for (const QString& key : keys) {
        if (!desktop.PressKeys(key)) return false;
    }
    const QImage painted = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (!QTest::qWaitFor(
            [&] { return desktop.Grab(desktop.Facts(window).clientRect) == painted; })) {
        std::fprintf(stderr, "kelmora-desktop-screenshots: %s never showed what it painted\n",
                     name);
        return false;
    }
    return Saved(desktop.Grab(desktop.FrameRect(window)), folder, name);
}

// The credits box is the program's real message box: saved from inside its own modal loop.
bool SaveCredits(X11Desktop& desktop, kelmora::ControlPanelWindow& controlPanel,
                 const QDir& folder) {
    bool saved = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        saved = Save(desktop, *box, folder, "control-panel-credits.png");
        box->close();
    });
    controlPanel.findChild<QAction*>(QStringLiteral("aboutAction"))->trigger();
    return saved;
}

// The width of blue along the lower edge of the install window's bar, as a share of the track.
double BarShare(const QImage& frame, const QRect& trackInside) {
    int width = 0;
    while (width < trackInside.width() &&
           frame.pixelColor(trackInside.left() + width, trackInside.bottom()) ==
               QColor(0, 0, 255)) {
        ++width;
    }
    return double(width) / trackInside.width();
}

// Answers every message box of the install; at the outcome, saves the recorded picture of the
// install window that first shows the game archive's extraction two fifths done (the backup
// before it fills the bar, the extraction starts it again from nothing).
class SaveInstallWindowAtTheEnd : public kelmora::MessageBoxSeam {
public:
    SaveInstallWindowAtTheEnd(ScreenRecorder& recorder, QRect trackInside, const QDir& folder)
        : recorder_(recorder), trackInside_(trackInside), folder_(folder) {}

    kelmora::MsgAnswer Show(const kelmora::Message&) override {
        recorder_.Stop();
        bool restarted = false;
        for (const ScreenRecorder::Frame& frame : recorder_.Frames()) {
            const double share = BarShare(frame.image, trackInside_);
            if (share > 0.9) restarted = false;
            if (share < 0.1) restarted = true;
            if (restarted && share >= 0.4 && share < 0.6) {
                kelmora::EndProgram(Saved(frame.image, folder_, "install-window.png") ? 0 : 1);
            }
        }
        std::fprintf(stderr, "kelmora-desktop-screenshots: the install went too fast to see\n");
        kelmora::EndProgram(1);
    }

private:
    ScreenRecorder& recorder_;
    QRect trackInside_;
    const QDir& folder_;
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
    kelmora::testing::TempDir sandbox;
    if (!desktop.IsUsable() || !folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "kelmora-desktop-screenshots: needs an X server and %s\n", argv[1]);
        return 1;
    }
    // The install's end ends this program, past the folder's own clean-up.
    kelmora::SetProgramEndHook([&sandbox](int status) {
        std::error_code ignored;
        fs::remove_all(sandbox.path(), ignored);
        std::fflush(nullptr);
        std::_Exit(status);
    });
    const fs::path prefix = sandbox / "prefix";
    MakeSandbox(prefix);
    qputenv("WINEPREFIX", prefix.c_str());

    bool saved = true;
    kelmora::InstallerState state;
    kelmora::InstallerWindow mainWindow(state);
    mainWindow.Load();
    mainWindow.findChild<QLineEdit*>(QStringLiteral("packageFolderField"))
        ->setText(QStringLiteral("C:\\Downloads"));
    saved &= Save(desktop, mainWindow, folder, "main-window.png");
    {
        kelmora::ReleaseNotesDialog releaseNotes(&mainWindow);
        saved &= Save(desktop, releaseNotes, folder, "release-notes.png");
    }
    {
        // Tabbing from the first problem past OK onto the second picks it.
        kelmora::HelpWindow help(&mainWindow);
        saved &= Save(desktop, help, folder, "help.png", {"Tab", "Tab"});
    }
    {
        // The control panel once the patch is in, then with the patch parked.
        kelmora::testing::TempDir installed;
        kelmora::testing::WriteFile(installed / "rev31.gp3", "");
        kelmora::testing::WriteFile(installed / "Orv_Backup" / "rev31.gp3", "");
        kelmora::ControlPanelWindow controlPanel(installed.path().string());
        saved &= Save(desktop, controlPanel, folder, "control-panel-disable.png");
        saved &= SaveCredits(desktop, controlPanel, folder);
        controlPanel.hide();
        kelmora::testing::WriteFile(installed / "Orv_Backup" / "rev31.mod", "");
        kelmora::ControlPanelWindow parkedControlPanel(installed.path().string());
        saved &= Save(desktop, parkedControlPanel, folder, "control-panel-enable.png");
    }
    {
        // A game folder of 200 characters: the action keeps its drive, first folder and file.
        kelmora::InstallProgressWindow longFolder(state, &mainWindow);
        std::string gameFolder = "c:\\games";
        while (gameFolder.size() < 200) gameFolder += "\\total annihilation collection";
        gameFolder.resize(200);
        longFolder.SetAction("Extracting data from " + gameFolder + "\\rev31.gp3...");
        saved &= Save(desktop, longFolder, folder, "install-window-long-folder.png");
    }
    if (!saved) return 1;

    // Where the install window will be: the window manager frames it as it framed another.
    state.gameFolder = "c:\\games\\totala";
    state.packageFolder = "c:\\downloads";
    kelmora::InstallProgressWindow installWindow(state, &mainWindow);
    QRect frame;
    QMargins frameEdges;
    {
        kelmora::InstallProgressWindow probe(state, &mainWindow);
        probe.show();
        if (!desktop.WaitUntilManaged(probe)) return 1;
        frame = desktop.FrameRect(probe);
        frameEdges = desktop.Facts(probe).frameExtents;
    }
    auto* track = installWindow.findChild<QFrame*>(QStringLiteral("progressTrack"));
    const QRect trackInside = track->contentsRect().translated(
        track->mapTo(&installWindow, QPoint()) + QPoint(frameEdges.left(), frameEdges.top()));
    ScreenRecorder recorder(frame);
    SaveInstallWindowAtTheEnd saveAtTheEnd(recorder, trackInside, folder);
    kelmora::SetCurrentMessageBox(&saveAtTheEnd);
    installWindow.Activate();
}
