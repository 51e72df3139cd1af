// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include "core/InstallerState.h"
#include "core/PackProgress.h"
#include "core/ProgramEnd.h"
#include "platform/PathMapping.h"
#include "support/GameSandbox.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedMessageBox.h"
#include "ui/InstallProgressWindow.h"
#include "ui/InstallThread.h"

namespace kelmora {
namespace {

class InstallThreadTest : public ::testing::Test {};

bool OnGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Records the display calls and message boxes that reach the windows' thread, and whether every
// one of them was made there.
class GuiThreadRecorder : public testing::RecordingDisplay {
public:
    void SetAction(const std::string& text) override {
        allOnGuiThread &= OnGuiThread();
        RecordingDisplay::SetAction(text);
    }
    void SetPercentText(const std::string& text) override {
        allOnGuiThread &= OnGuiThread();
        RecordingDisplay::SetPercentText(text);
    }
    void SetBar(int value) override {
        allOnGuiThread &= OnGuiThread();
        RecordingDisplay::SetBar(value);
    }
    void Repaint() override {
        allOnGuiThread &= OnGuiThread();
        RecordingDisplay::Repaint();
    }
    bool allOnGuiThread = true;
};

class InstallProgressWindowTest : public ::testing::Test {
protected:
    template <typename T>
    T* Control(const char* name) {
        T* control = window.findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    InstallerState state;
    InstallProgressWindow window{state};
};

TEST_F(InstallThreadTest, TheRunsDisplayAndMessagesReachTheGuiThreadWhichKeepsHandlingEvents) {
    testing::ScriptedMessageBox messages;
    messages.Answer(MsgAnswer::kNo);
    GuiThreadRecorder display;
    bool runOffGuiThread = false;
    MsgAnswer answerSeenByRun = MsgAnswer::kOk;
    int timerTicksDuringRun = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++timerTicksDuringRun; });
    ticker.start(1);

    RunInstallOffGuiThread(
        [&](InstallDisplay& runDisplay, MessageBoxSeam& runMessages) {
            runOffGuiThread = !OnGuiThread();
            runDisplay.SetAction("Extracting...");
            // The same percentage again is on screen already; a change is handed over once.
            for (int percent : {0, 0, 50, 50, 100}) {
                runDisplay.SetPercentText(std::to_string(percent) + "%");
                runDisplay.SetBar(percent);
                runDisplay.Repaint();
            }
            answerSeenByRun = runMessages.Show({"Sure?", "Q", MsgButtons::kYesNo});
            // The windows' thread is free while the run works.
            const int ticksBefore = timerTicksDuringRun;
            QDeadlineTimer deadline(5000);
            while (timerTicksDuringRun == ticksBefore && !deadline.hasExpired()) {
                QThread::msleep(1);
            }
        },
        display, messages);
    ticker.stop();

    EXPECT_TRUE(runOffGuiThread);
    EXPECT_TRUE(display.allOnGuiThread);
    EXPECT_EQ(display.actions, std::vector<std::string>{"Extracting..."});
    EXPECT_EQ(display.PercentagesDuring("Extracting..."),
              (std::vector<std::string>{"50%", "100%"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Sure?");
    EXPECT_EQ(answerSeenByRun, MsgAnswer::kNo);
    EXPECT_GT(timerTicksDuringRun, 0);
}

TEST_F(InstallThreadTest, AnEndOfTheProgramOrARunTimeErrorInTheRunReachesTheCaller) {
    int hookCalls = 0;
    SetProgramEndHook([&](int) {
        ++hookCalls;
        throw ProgramEnded{-1};
    });
    testing::ScriptedMessageBox messages;
    testing::RecordingDisplay display;
    try {
        RunInstallOffGuiThread([](InstallDisplay&, MessageBoxSeam&) { EndProgram(3); }, display,
                               messages);
        ADD_FAILURE() << "the run's end was lost";
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 3);
    }
    SetProgramEndHook(nullptr);
    EXPECT_EQ(hookCalls, 0) << "the hook belongs to the caller's thread";

    try {
        RunInstallOffGuiThread(
            [](InstallDisplay&, MessageBoxSeam&) { throw RuntimeError(kDiskFull); }, display,
            messages);
        ADD_FAILURE() << "the run-time error was lost";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), kDiskFull);
    }
}

TEST_F(InstallProgressWindowTest, IsAFixedWindowWithoutButtonsOrCloseBox) {
    EXPECT_EQ(window.windowTitle(), "Installing Orvald's Kelmora");
    EXPECT_EQ(window.size(), QSize(464, 72));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(window.windowType(), Qt::Dialog);  // no task-bar entry
    EXPECT_TRUE(window.isModal());
    EXPECT_EQ(Control<QGroupBox>("actionFrame")->title(), "Current Action:");
    EXPECT_EQ(Control<QLabel>("actionLabel")->text(), "Preparing to install...");
    EXPECT_EQ(Control<QLabel>("percentLabel")->text(), "0%");
    EXPECT_EQ(Control<QFrame>("progressTrack")->geometry(), QRect(8, 32, 433, 17));
}

TEST_F(InstallProgressWindowTest, PackingProgressDrawsABlueBarFromTheLeftOverTheBlackTrack) {
    window.show();
    lastPackPercent = 0;
    SetPackDisplay(&window);
    PackProgress(0, 0, 0, 0, 0, 0, 1, 4);
    SetPackDisplay(nullptr);

    EXPECT_EQ(Control<QLabel>("percentLabel")->text(), "25%");
    QWidget* track = Control<QFrame>("progressTrack");
    const QRect inner = static_cast<QFrame*>(track)->contentsRect();
    EXPECT_EQ(Control<QWidget>("progressBar")->geometry(),
              QRect(inner.left(), inner.top(), inner.width() / 4, inner.height()));
    const QImage image = track->grab().toImage();
    // Sampled on the bar's lower edge, clear of the percentage text.
    const int y = inner.bottom();
    EXPECT_EQ(image.pixelColor(inner.left(), y), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(inner.left() + inner.width() / 4 - 1, y), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(inner.left() + inner.width() / 4 + 1, y), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(inner.right(), y), QColor(0, 0, 0));
}

TEST_F(InstallProgressWindowTest, ActivationInstallsShowsTheOutcomeAndEndsTheProgram) {
    testing::GameSandbox sandbox(
        {{"scripts", std::nullopt}, {"scripts\\a.cob", "game"}},
        {{"rev31.gp3\\scripts", std::nullopt}, {"rev31.gp3\\scripts\\a.cob", "package"}});
    state = InstallerState{sandbox.gameFolder.string(), sandbox.packageFolder.string()};
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    try {
        window.Activate();
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 0);
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Installation Successful.  The Orvald's Kelmora is now ready to run.");
    EXPECT_EQ(messages.shown[0].title, kAppTitle);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::kNone);
    EXPECT_EQ(Control<QLabel>("actionLabel")->text().toStdString(),
              "Compressing " + JoinPath(ShownFolder(state.gameFolder), "\\rev31.gp3") + "...");
    EXPECT_EQ(testing::ArchiveEntryContent(sandbox.GameArchive(), "scripts\\a.cob"), "package");
}

TEST_F(InstallProgressWindowTest, ActivationReportsAGameFileThatCannotBeReadAsARunTimeError) {
    testing::TempDir empty;
    state = InstallerState{empty.path().string(), empty.path().string()};
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    try {
        window.Activate();
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 1);
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Run-time error '53':\r\rFile not found: " +
                                          JoinPath(ShownFolder(state.gameFolder), "\\totala1.hpi"));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The window is shown and drawn before the run's first step (here, the version check's box);
// the conflict ends the program, on this thread, without an outcome message.
TEST_F(InstallProgressWindowTest, AVersionConflictEndsTheProgramOnceTheWindowIsDrawn) {
    testing::GameSandbox sandbox({}, {});
    std::filesystem::resize_file(sandbox.gameFolder / "ccdata.ccx", 1);
    state = InstallerState{sandbox.gameFolder.string(), sandbox.packageFolder.string()};
    PaintCounter counter(window);
    struct DrawnAtFirstMessage : testing::ScriptedMessageBox {
        std::function<bool()> drawn;
        bool drawnAtFirst = false;
        MsgAnswer Show(const Message& message) override {
            if (shown.empty()) drawnAtFirst = drawn();
            return ScriptedMessageBox::Show(message);
        }
    } messages;
    messages.drawn = [&] { return window.isVisible() && counter.paints > 0; };
    testing::CatchProgramEnd catchEnd;
    try {
        window.Activate();
        ADD_FAILURE() << "the program went on";
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 0);
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Version Conflict Detected");
    EXPECT_TRUE(messages.drawnAtFirst);
    EXPECT_TRUE(window.isModal());
}

}  // namespace
}  // namespace kelmora
