// SPDX-License-Identifier: GPL-3.0-or-later
// The program itself on a real X server, run on a demo game folder and worked with key presses
// and clicks as a player would: each window's title, size, icon and title-bar buttons as the
// window manager has them, Enter and Esc, the install to its end, and the hand-over to the
// control panel. ctest runs it under openbox and under metacity.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <map>

#include "app/DemoSandbox.h"
#include "support/TempDir.h"
#include "support/X11Desktop.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::MotifHints;
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

// The program on the demo sandbox in `folder`; killed if a test leaves it running.
class RunningProgram {
public:
    explicit RunningProgram(const fs::path& folder) {
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(QStringLiteral(KELMORA_INSTALLER),
                       {QStringLiteral("--demo"), QString::fromStdString(folder.string())});
    }
    ~RunningProgram() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished();
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Whether the program ended by itself, with `status`.
    bool EndsWith(int status) {
        // It may have ended already, while the test waited for a window.
        if (process_.state() != QProcess::NotRunning) process_.waitForFinished(kLongWaitMs);
        return process_.state() == QProcess::NotRunning &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == status;
    }

private:
    static constexpr int kLongWaitMs = 30000;
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
        EXPECT_EQ(facts.hasIcon, frame.icon);
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
        EXPECT_EQ(facts.motif->Offers(MotifHints::kClose), frame.closeBox);

        const QString dialog = QStringLiteral("_NET_WM_WINDOW_TYPE_DIALOG");
        EXPECT_EQ(facts.types.contains(dialog), !frame.taskBarEntry);
        EXPECT_EQ(facts.transientFor != 0, !frame.taskBarEntry) << "a dialog keeps its owner";
        EXPECT_EQ(facts.SkipsTaskbar(), !frame.taskBarEntry);

        if (windowManager_ == QLatin1String("Metacity")) {
            EXPECT_EQ(facts.Allows("CLOSE"), frame.closeBox);
            EXPECT_FALSE(facts.Allows("MINIMIZE"));
            EXPECT_EQ(facts.states.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")),
                      !frame.taskBarEntry);
        } else {
            EXPECT_TRUE(facts.Allows("CLOSE"));
        }
    }

    X11Desktop desktop_;
    QString windowManager_;
    testing::TempDir folder_;
    DemoSandbox sandbox_;
};

TEST_F(ProgramOnDesktopTest, EveryWindowFromTheMainWindowToTheEndOfTheInstall) {
    RunningProgram program(folder_.path());
    const unsigned long main = Active(kAppTitle);
    ASSERT_NE(main, 0u);
    ExpectFrame(main, {{328, 248}, true, true, true}, kAppTitle);
    // A dock ties the window to the desktop entry that started it by its class.
    const QString startupClass =
        QSettings(QStringLiteral(KELMORA_DESKTOP_ENTRY), QSettings::IniFormat)
            .value(QStringLiteral("Desktop Entry/StartupWMClass"))
            .toString();
    EXPECT_EQ(desktop_.Facts(main).wmClass, QStringList({startupClass, startupClass}));

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

    // The outcome box stands over the install window, which stays on screen until it is answered.
    const unsigned long outcome = Active(kAppTitle, main);
    ASSERT_NE(outcome, 0u);
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
    RunningProgram program(folder_.path());
    const unsigned long panel = Active(kPanelTitle);
    ASSERT_NE(panel, 0u);
    EXPECT_TRUE(desktop_.ClientsTitled(kAppTitle).isEmpty()) << "the main window was shown";
    const int menuBar = desktop_.Facts(panel).clientRect.height() - 64;
    EXPECT_GT(menuBar, 0);
    ExpectFrame(panel, {{320, 64 + menuBar}, true, true, true}, kPanelTitle);

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

TEST_F(ProgramOnDesktopTest, EscOnTheMainWindowAndOnTheReleaseNotesEndsTheProgramTouchingNothing) {
    const auto before = FilesUnder(folder_.path());
    {
        RunningProgram program(folder_.path());
        ASSERT_NE(Active(kAppTitle), 0u);
        ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Escape")));
        EXPECT_TRUE(program.EndsWith(0));
    }
    {
        RunningProgram program(folder_.path());
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
