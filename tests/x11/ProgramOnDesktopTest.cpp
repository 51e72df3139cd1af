// SPDX-License-Identifier: GPL-3.0-or-later
// The program itself on a real X server, run on a demo game folder and worked with key presses
// and clicks as a player would: each window's title, size, icon and title-bar buttons as the
// window manager has them, Enter and Esc, the install to its end with its progress on screen, and
// the hand-over to the control panel and its actions. ctest runs it under openbox and under
// metacity; scripts/test-windows runs it on the Windows build under Wine
// (KELMORA_WINDOWS_INSTALLER names the .exe).
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "app/DemoSandbox.h"
#include "support/TempDir.h"
#include "support/X11Desktop.h"
#include "ui/HelpWindow.h"
#include "ui/InstallProgressWindow.h"
#include "ui/InstallerWindow.h"
#include "x11/ProgressTrack.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::MotifHints;
using testing::ScreenRecorder;
using testing::WindowFacts;
using testing::X11Desktop;

const QString kAppTitle = QStringLiteral("Orvald's Kelmora Installation Program");
const QString kHelpTitle = QStringLiteral("Installation Help");
const QString kNotesTitle = QStringLiteral("Orvald's Kelmora Release Notes");
const QString kInstallTitle = QStringLiteral("Installing Orvald's Kelmora");
const QString kPanelTitle = QStringLiteral("Orvald's Kelmora Control Panel");

// What a window's frame is to offer.
struct Frame {
    QSize clientSize;  // empty for a message box, which sizes itself
    bool icon;
    bool closeBox;
    bool taskBarEntry;
};

QString Text(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// The Windows build, when the tests are to work it under Wine.
std::optional<QString> WindowsInstaller() {
    const QByteArray exe = qgetenv("KELMORA_WINDOWS_INSTALLER");
    if (exe.isEmpty()) return std::nullopt;
    return QFileInfo(QString::fromLocal8Bit(exe)).absoluteFilePath();
}

// Leaves the game folder in the Wine prefix's registry as the game's 32-bit setup does, named as
// Windows programs under Wine see it: on drive Z, the host's root.
bool RegisterGameFolder(const fs::path& gameFolder) {
    QProcess reg;
    reg.start(QStringLiteral("wine"),
              {QStringLiteral("reg"), QStringLiteral("add"),
               QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                              "Total Annihilation"),
               QStringLiteral("/v"), QStringLiteral("Dir"), QStringLiteral("/d"),
               QStringLiteral("Z:") + Text(gameFolder).replace(QLatin1Char('/'), QLatin1Char('\\')),
               QStringLiteral("/reg:32"), QStringLiteral("/f")});
    return reg.waitForFinished(60000) && reg.exitStatus() == QProcess::NormalExit &&
           reg.exitCode() == 0;
}

// The program on the demo sandbox in `folder`: the Linux build started with --demo, or the
// Windows build under Wine started in the package folder, the game folder in the registry. It is
// killed if a test leaves it running.
class RunningProgram {
public:
    RunningProgram(const fs::path& folder, const DemoSandbox& sandbox) {
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        const std::optional<QString> exe = WindowsInstaller();
        if (exe) {
            EXPECT_TRUE(RegisterGameFolder(sandbox.gameFolder));
        }
        started_.start();
        if (exe) {
            process_.setWorkingDirectory(Text(sandbox.packageFolder));
            process_.start(QStringLiteral("wine"), {*exe});
        } else {
            process_.start(QStringLiteral(KELMORA_INSTALLER),
                           {QStringLiteral("--demo"), Text(folder)});
        }
    }
    ~RunningProgram() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished();
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Milliseconds since the program was started.
    qint64 Elapsed() const { return started_.elapsed(); }

    // Whether the program ended by itself, with `status`.
    bool EndsWith(int status) {
        // It may have ended already, while the test waited for a window.
        if (process_.state() != QProcess::NotRunning) process_.waitForFinished(kLongWaitMs);
        return process_.state() == QProcess::NotRunning &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == status;
    }

private:
    static constexpr int kLongWaitMs = 30000;
    QElapsedTimer started_;
    QProcess process_;
};

// Every file under `root` with its size.
std::map<std::string, std::uintmax_t> FilesUnder(const fs::path& root) {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files[entry.path().string()] = entry.is_regular_file() ? entry.file_size() : 0;
    }
    return files;
}

class ProgramOnDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desktop_.IsUsable()) GTEST_SKIP() << "needs an X server (tests/x11/run-in-desktop)";
        windowManager_ = desktop_.WindowManager();
        sandbox_ = BuildDemoSandbox(folder_.path());
    }

    // The window titled `title` that has the focus, once there is one.
    unsigned long Active(const QString& title, unsigned long otherThan = 0) {
        const unsigned long window = desktop_.WaitForActiveClient(title, otherThan);
        EXPECT_NE(window, 0u) << "no window \"" << title.toStdString() << "\" took the focus";
        return window;
    }

    bool Gone(unsigned long window) {
        return QTest::qWaitFor([&] { return !desktop_.Facts(window).viewable; }, 10000);
    }

    // Whether the window offers what `frame` says, as the window manager has it, and asks for it
    // in the hints that window managers read. openbox draws minimise and close on every window,
    // whatever the hints say; metacity offers exactly what the hints ask for.
    void ExpectFrame(unsigned long window, const Frame& frame, const QString& title) {
        SCOPED_TRACE(title.toStdString());
        const WindowFacts facts = desktop_.Facts(window);
        EXPECT_EQ(facts.title, title);
        EXPECT_TRUE(facts.viewable);
        EXPECT_GT(facts.frameExtents.top(), 0) << "no title bar";
        // Wine gives every window an icon of its own where the program sets none.
        if (frame.icon || !WindowsInstaller()) {
            EXPECT_EQ(facts.hasIcon, frame.icon);
        }
        if (!frame.clientSize.isEmpty()) {
            EXPECT_EQ(facts.clientRect.size(), frame.clientSize);
            EXPECT_EQ(facts.minimumSize, frame.clientSize);
            EXPECT_EQ(facts.maximumSize, frame.clientSize);
            EXPECT_FALSE(facts.Allows("RESIZE"));
        }
        EXPECT_FALSE(facts.Allows("MAXIMIZE_HORZ"));
        EXPECT_FALSE(facts.Allows("MAXIMIZE_VERT"));

        ASSERT_TRUE(facts.motif);
        EXPECT_TRUE(facts.motif->Draws(MotifHints::kTitle));
        EXPECT_FALSE(facts.motif->Offers(MotifHints::kMinimize));
        EXPECT_FALSE(facts.motif->Offers(MotifHints::kMaximize));
        // Wine offers closing every window and draws a window menu exactly where the Windows
        // window has its system menu, which holds the close box.
        if (WindowsInstaller()) {
            EXPECT_EQ(facts.motif->Draws(MotifHints::kMenu), frame.closeBox);
        } else {
            EXPECT_EQ(facts.motif->Offers(MotifHints::kClose), frame.closeBox);
        }

        const QString dialog = QStringLiteral("_NET_WM_WINDOW_TYPE_DIALOG");
        EXPECT_EQ(facts.types.contains(dialog), !frame.taskBarEntry);
        EXPECT_EQ(facts.transientFor != 0, !frame.taskBarEntry) << "a dialog keeps its owner";
        EXPECT_EQ(facts.SkipsTaskbar(), !frame.taskBarEntry);

        if (windowManager_ == QLatin1String("Metacity")) {
            if (!WindowsInstaller()) {
                EXPECT_EQ(facts.Allows("CLOSE"), frame.closeBox);
            }
            EXPECT_FALSE(facts.Allows("MINIMIZE"));
            EXPECT_EQ(facts.states.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")),
                      !frame.taskBarEntry);
        } else {
            EXPECT_TRUE(facts.Allows("CLOSE"));
        }
    }

    // The progress track of the install window on screen, from where a window of the same
    // layout has it.
    QRect TrackOnScreen(unsigned long installWindow) {
        InstallerState state;
        const InstallProgressWindow layout(state);
        trackInside_ = testing::Track(layout)->contentsRect();
        return OnScreen(installWindow, layout, "progressTrack");
    }

    // With KELMORA_SCREENSHOTS naming a folder (scripts/screenshots), saves the window with its
    // frame there as `name`.
    void SavePicture(unsigned long window, const char* name) {
        const QString folder = qEnvironmentVariable("KELMORA_SCREENSHOTS");
        if (folder.isEmpty()) return;
        EXPECT_TRUE(desktop_.Grab(desktop_.FrameRect(window)).save(QDir(folder).filePath(name)));
    }

    // Saves the install window once its bar is between a third and two thirds (the backup fills
    // it whole), as SavePicture does.
    void SavePictureMidInstall(unsigned long installWindow, const QRect& track) {
        if (qEnvironmentVariable("KELMORA_SCREENSHOTS").isEmpty()) return;
        const auto midway = [&] {
            const int width = testing::BarWidth(desktop_.Grab(track), trackInside_);
            return width > trackInside_.width() / 3 && width < trackInside_.width() * 2 / 3;
        };
        if (QTest::qWaitFor(midway, 30000)) SavePicture(installWindow, "install-window.png");
    }

    // Where `window` shows `control`, from where a window of the same layout has it.
    QRect OnScreen(unsigned long window, const QWidget& layout, const char* control) {
        const auto* widget = layout.findChild<QWidget*>(QString::fromLatin1(control));
        EXPECT_NE(widget, nullptr) << control;
        if (!widget) return {};
        return QRect(desktop_.Facts(window).clientRect.topLeft() + widget->mapTo(&layout, QPoint()),
                     widget->size());
    }

    // The command button of `window` that wears the default mark, the dark frame at its corner.
    QString MarkedButton(unsigned long window, const QWidget& layout) {
        const QColor frame = layout.palette().color(QPalette::Shadow);
        QString marked;
        for (const QPushButton* button : layout.findChildren<QPushButton*>()) {
            const QRect rect = OnScreen(window, layout, qPrintable(button->objectName()));
            if (desktop_.Grab(rect).pixelColor(0, 0) == frame) marked += button->objectName();
        }
        return marked;
    }

    // The widths of the bar in the pictures, each once, in the order first seen.
    std::vector<int> BarWidthsSeen(const ScreenRecorder& recorder) const {
        std::vector<int> widths;
        for (const ScreenRecorder::Frame& frame : recorder.Frames()) {
            const int width = testing::BarWidth(frame.image, trackInside_);
            if (std::find(widths.begin(), widths.end(), width) == widths.end())
                widths.push_back(width);
        }
        return widths;
    }

    X11Desktop desktop_;
    QString windowManager_;
    QRect trackInside_;
    testing::TempDir folder_;
    DemoSandbox sandbox_;
};

TEST_F(ProgramOnDesktopTest, EveryWindowFromTheMainWindowToTheEndOfTheInstall) {
    RunningProgram program(folder_.path(), sandbox_);
    const unsigned long main = Active(kAppTitle);
    ASSERT_NE(main, 0u);
    std::printf("main window: on screen with the focus %lld ms after the start\n",
                static_cast<long long>(program.Elapsed()));
    ExpectFrame(main, {{328, 248}, true, true, true}, kAppTitle);
    SavePicture(main, "main-window.png");
    // A dock ties the window to the desktop entry that started it by its class (Linux's entry).
    if (!WindowsInstaller()) {
        const QString startupClass =
            QSettings(QStringLiteral(KELMORA_DESKTOP_ENTRY), QSettings::IniFormat)
                .value(QStringLiteral("Desktop Entry/StartupWMClass"))
                .toString();
        EXPECT_EQ(desktop_.Facts(main).wmClass, QStringList({startupClass, startupClass}));
    }

    // Help, by a click on its button (240, 216, 81 x 25 in the window); Esc closes it.
    ASSERT_TRUE(desktop_.Click(desktop_.Facts(main).clientRect.topLeft() + QPoint(280, 228)));
    const unsigned long help = Active(kHelpTitle);
    ASSERT_NE(help, 0u);
    ExpectFrame(help, {{432, 288}, true, true, false}, kHelpTitle);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Escape")));
    EXPECT_TRUE(Gone(help));

    // The click left the focus on Help; from the game folder field, which Tab moves it on to,
    // Enter presses OK, then Yes on the release notes.
    ASSERT_EQ(Active(kAppTitle), main);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Tab")));
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
    const unsigned long notes = Active(kNotesTitle);
    ASSERT_NE(notes, 0u);
    ExpectFrame(notes, {{408, 200}, false, false, false}, kNotesTitle);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));

    // The bar grows on screen while the install runs, through extraction and packing.
    const unsigned long installing = Active(kInstallTitle);
    ASSERT_NE(installing, 0u);
    const QRect track = TrackOnScreen(installing);
    ScreenRecorder recorder(track);
    SavePictureMidInstall(installing, track);

    // The outcome box stands over the install window, which stays on screen until it is answered.
    const unsigned long outcome = Active(kAppTitle, main);
    ASSERT_NE(outcome, 0u);
    recorder.Stop();
    const std::vector<int> widths = BarWidthsSeen(recorder);
    EXPECT_GE(widths.size(), 5u);
    EXPECT_EQ(*std::max_element(widths.begin(), widths.end()), trackInside_.width());
    std::printf("install window: %zu bar widths seen on screen\n", widths.size());
    ExpectFrame(outcome, {{}, false, true, false}, kAppTitle);
    const QList<unsigned long> installWindows = desktop_.ClientsTitled(kInstallTitle);
    ASSERT_EQ(installWindows.size(), 1);
    ExpectFrame(installWindows[0], {{464, 72}, false, false, false}, kInstallTitle);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
    EXPECT_TRUE(program.EndsWith(0));
    EXPECT_TRUE(fs::exists(sandbox_.gameFolder / "Orv_Backup" / "rev31.gp3"));
}

TEST_F(ProgramOnDesktopTest, AnInstalledPatchOpensOnlyTheControlPanel) {
    fs::create_directories(sandbox_.gameFolder / "Orv_Backup");
    fs::copy_file(sandbox_.gameFolder / "rev31.gp3",
                  sandbox_.gameFolder / "Orv_Backup" / "rev31.gp3");
    const auto before = FilesUnder(folder_.path());
    RunningProgram program(folder_.path(), sandbox_);
    const unsigned long panel = Active(kPanelTitle);
    ASSERT_NE(panel, 0u);
    EXPECT_TRUE(desktop_.ClientsTitled(kAppTitle).isEmpty()) << "the main window was shown";
    const int menuBar = desktop_.Facts(panel).clientRect.height() - 64;
    EXPECT_GT(menuBar, 0);
    ExpectFrame(panel, {{320, 64 + menuBar}, true, true, true}, kPanelTitle);
    SavePicture(panel, "control-panel.png");

    // Help > About by its keys; Enter answers the credits box.
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Alt+h")));
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("a")));
    const unsigned long credits = Active(kAppTitle);
    ASSERT_NE(credits, 0u);
    ExpectFrame(credits, {{}, false, true, false}, kAppTitle);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
    EXPECT_TRUE(Gone(credits));

    // Uninstall (the focused button) asks first; Esc answers No and the panel stays.
    ASSERT_EQ(Active(kPanelTitle), panel);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("space")));
    const unsigned long question = Active(kAppTitle);
    ASSERT_NE(question, 0u);
    ExpectFrame(question, {{}, false, true, false}, kAppTitle);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Escape")));
    EXPECT_TRUE(Gone(question));
    ASSERT_EQ(Active(kPanelTitle), panel);

    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Ctrl+x")));
    EXPECT_TRUE(program.EndsWith(0));
    EXPECT_EQ(FilesUnder(folder_.path()), before);
}

TEST_F(ProgramOnDesktopTest, TheControlPanelDisablesAndEnablesThePatchThroughItsButtons) {
    const fs::path game = sandbox_.gameFolder;
    const std::string original = testing::ReadFile(game / "rev31.gp3");
    fs::create_directories(game / "Orv_Backup");
    fs::rename(game / "rev31.gp3", game / "Orv_Backup" / "rev31.gp3");
    WriteArchive(game / "rev31.gp3", {{"scripts", {}}, {"scripts\\armcom.cob", "patched"}});
    const std::string patched = testing::ReadFile(game / "rev31.gp3");

    // The right-hand frame's button comes after Uninstall's, which has the focus; Enter answers
    // the question Yes, then the success message.
    const auto pressRightHandButton = [&] {
        RunningProgram program(folder_.path(), sandbox_);
        ASSERT_NE(Active(kPanelTitle), 0u);
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Tab")));
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("space")));
        const unsigned long question = Active(kAppTitle);
        ASSERT_NE(question, 0u);
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
        ASSERT_NE(Active(kAppTitle, question), 0u);
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
        EXPECT_TRUE(program.EndsWith(0));
    };
    pressRightHandButton();
    EXPECT_TRUE(testing::ReadFile(game / "rev31.gp3") == original) << "not disabled";
    EXPECT_TRUE(testing::ReadFile(game / "Orv_Backup" / "rev31.mod") == patched);
    pressRightHandButton();
    EXPECT_TRUE(testing::ReadFile(game / "rev31.gp3") == patched) << "not enabled";
    EXPECT_FALSE(fs::exists(game / "Orv_Backup" / "rev31.mod"));
}

// Tab follows the tab indexes and the default mark follows the focus among the command buttons;
// Enter presses the focused one (Help, then Cancel), and the help's arrow keys pick problems.
TEST_F(ProgramOnDesktopTest, TabOrderTheDefaultMarkEnterAndTheHelpsKeys) {
    const auto before = FilesUnder(folder_.path());
    RunningProgram program(folder_.path(), sandbox_);
    const unsigned long main = Active(kAppTitle);
    ASSERT_NE(main, 0u);
    InstallerState state;
    const InstallerWindow mainLayout(state);
    // From the game folder field: the package folder field, OK, Cancel, TA Directory, Help.
    for (const char* marked : {"okButton", "okButton", "okButton", "cancelButton",
                               "findGameFolderButton", "helpButton"}) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return MarkedButton(main, mainLayout) == marked; }))
            << marked
            << " does not wear the mark: " << MarkedButton(main, mainLayout).toStdString();
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Tab")));
    }
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Shift+Tab")));
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
    const unsigned long help = Active(kHelpTitle);
    ASSERT_NE(help, 0u);
    const HelpWindow helpLayout;
    const QRect resolution = OnScreen(help, helpLayout, "resolutionLabel");
    const QImage blank = desktop_.Grab(resolution);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Down")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop_.Grab(resolution) != blank; }))
        << "no problem picked";
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Escape")));
    EXPECT_TRUE(Gone(help));

    ASSERT_EQ(Active(kAppTitle), main);
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Shift+Tab")));
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Shift+Tab")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return MarkedButton(main, mainLayout) == "cancelButton"; }));
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
    EXPECT_TRUE(program.EndsWith(0));
    EXPECT_TRUE(desktop_.ClientsTitled(kNotesTitle).isEmpty());
    EXPECT_EQ(FilesUnder(folder_.path()), before);
}

TEST_F(ProgramOnDesktopTest, EscOnTheMainWindowAndOnTheReleaseNotesEndsTheProgramTouchingNothing) {
    const auto before = FilesUnder(folder_.path());
    {
        RunningProgram program(folder_.path(), sandbox_);
        ASSERT_NE(Active(kAppTitle), 0u);
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Escape")));
        EXPECT_TRUE(program.EndsWith(0));
    }
    {
        RunningProgram program(folder_.path(), sandbox_);
        ASSERT_NE(Active(kAppTitle), 0u);
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
        ASSERT_NE(Active(kNotesTitle), 0u);
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Escape")));
        EXPECT_TRUE(program.EndsWith(0));
    }
    EXPECT_EQ(FilesUnder(folder_.path()), before);
}

}  // namespace
}  // namespace kelmora
