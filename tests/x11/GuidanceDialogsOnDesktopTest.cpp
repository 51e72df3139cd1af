// SPDX-License-Identifier: GPL-3.0-or-later
// The help and release-notes windows on a real X server: what they ask the window manager for,
// what it makes of that, and real key presses and clicks; the keys and default mark of every
// window with buttons, and a message box's title as the window manager draws it. ctest runs it
// under openbox and under metacity.
#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdio>
#include <utility>

#include "support/CommandKeys.h"
#include "support/TempDir.h"
#include "support/X11Desktop.h"
#include "ui/ControlPanelWindow.h"
#include "ui/HelpWindow.h"
#include "ui/InstallerWindow.h"
#include "ui/ModalWindows.h"
#include "ui/QtMessageBox.h"
#include "ui/ReleaseNotesDialog.h"

namespace kelmora {
namespace {

using testing::MotifHints;
using testing::WindowFacts;
using testing::X11Desktop;

// Counts the close requests a window receives, whether it takes them or not.
class CloseRequests : public QObject {
public:
    explicit CloseRequests(QWidget& window) { window.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close) ++count;
        return false;
    }
};

class GuidanceDialogsOnDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desktop_.IsUsable()) GTEST_SKIP() << "needs an X server (tests/x11/run-in-desktop)";
        // The main window the dialogs belong to.
        owner_.setWindowTitle(QStringLiteral("Owner"));
        owner_.resize(200, 100);
        owner_.show();
        ASSERT_TRUE(desktop_.WaitUntilManaged(owner_));
    }

    // Shows `window` and waits until it is framed, exposed and has the keyboard.
    void Show(QWidget& window) {
        window.show();
        ASSERT_TRUE(desktop_.WaitUntilManaged(window));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // What every window of the program asks for: its fixed size, no minimise or maximise
    // button, and no task-bar entry for a dialog.
    void ExpectFixedDialogWithoutMinimiseOrMaximise(const WindowFacts& facts, QSize size) {
        EXPECT_EQ(facts.clientRect.size(), size);
        EXPECT_EQ(facts.minimumSize, size);
        EXPECT_EQ(facts.maximumSize, size);
        ASSERT_TRUE(facts.motif);
        EXPECT_FALSE(facts.motif->Offers(MotifHints::kMinimize));
        EXPECT_FALSE(facts.motif->Offers(MotifHints::kMaximize));
        EXPECT_TRUE(facts.motif->Draws(MotifHints::kTitle));
        EXPECT_EQ(facts.transientFor, owner_.winId());
        EXPECT_TRUE(facts.SkipsTaskbar());
        // Both window managers take the size hints: a fixed window cannot be resized or maximised.
        EXPECT_FALSE(facts.Allows("RESIZE"));
        EXPECT_FALSE(facts.Allows("MAXIMIZE_HORZ"));
        EXPECT_GT(facts.frameExtents.top(), 0) << "no title bar";
    }

    // What the screen shows in `rect` once the window manager has done drawing there.
    QImage Settled(const QRect& rect) {
        QImage before = desktop_.Grab(rect);
        EXPECT_TRUE(QTest::qWaitFor([&] {
            QTest::qWait(50);
            const QImage now = desktop_.Grab(rect);
            return std::exchange(before, now) == now;
        }));
        return before;
    }

    // Sets `window`'s title and returns its title bar once the window manager has drawn it anew.
    QImage Retitled(QWidget& window, const QString& title, const QRect& bar) {
        const QImage before = Settled(bar);
        window.setWindowTitle(title);
        EXPECT_TRUE(QTest::qWaitFor([&] { return desktop_.Grab(bar) != before; }));
        return Settled(bar);
    }

    // The title as the window manager draws it on `window`'s frame: the part of the title bar that
    // changes when the title is taken away. The title is drawn again before it is read, so that a
    // title drawn before the box had its final width is not what is read.
    QImage DrawnTitle(QWidget& window) {
        QRect bar = desktop_.FrameRect(window);
        bar.setHeight(desktop_.Facts(window).frameExtents.top());
        const QString title = window.windowTitle();
        const QImage untitled = Retitled(window, QStringLiteral(" "), bar);
        const QImage titled = Retitled(window, title, bar);
        QRect changed;
        for (int y = 0; y < bar.height(); ++y) {
            for (int x = 0; x < bar.width(); ++x) {
                if (titled.pixel(x, y) != untitled.pixel(x, y))
                    changed |= QRect(x, 0, 1, bar.height());
            }
        }
        return titled.copy(changed);
    }

    X11Desktop desktop_;
    QWidget owner_;
};

TEST_F(GuidanceDialogsOnDesktopTest, EnterEscAndTheDefaultMarkInEveryWindow) {
    const auto press = [this](const QString& key) { return desktop_.PressKeys(key); };
    const auto shown = [this](const QWidget& widget) {
        return desktop_.Grab(QRect(widget.mapToGlobal(QPoint()), widget.size()));
    };
    InstallerState state;
    InstallerWindow mainWindow(state);
    mainWindow.findChild<QPushButton*>(QStringLiteral("okButton"))->setEnabled(true);
    HelpWindow help(&owner_);
    ReleaseNotesDialog notes(&owner_);
    const testing::TempDir game;
    ControlPanelWindow panel(game.path().string());
    for (QWidget* window : {static_cast<QWidget*>(&mainWindow), static_cast<QWidget*>(&help),
                            static_cast<QWidget*>(&notes), static_cast<QWidget*>(&panel)}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        ASSERT_NO_FATAL_FAILURE(Show(*window));
        ASSERT_NO_FATAL_FAILURE(testing::CheckCommandKeys(*window, press, shown));
        window->hide();
    }
}

// The widest title of all is the program's own; a box with a text wider than it shows it whole.
TEST_F(GuidanceDialogsOnDesktopTest, AMessageBoxShowsItsWholeTitle) {
    const auto titleOfABoxSaying = [this](const std::string& text) {
        QImage title;
        testing::WhenModalShows([&](QWidget* box) {
            if (desktop_.WaitUntilManaged(*box) && QTest::qWaitForWindowActive(box)) {
                title = DrawnTitle(*box);
                std::printf("%s: title drawn %d px wide on a box %d px wide with its frame\n",
                            qPrintable(desktop_.WindowManager()), title.width(),
                            desktop_.FrameRect(*box).width());
            }
            desktop_.PressKeys(QStringLiteral("Return"));
        });
        QtMessageBox().Show({text});
        return title;
    };
    const QImage wide = titleOfABoxSaying(std::string(15, ' ') + std::string(200, '-'));
    ASSERT_FALSE(wide.isNull());
    EXPECT_EQ(titleOfABoxSaying("Orvald's Kelmora has been successfully enabled."), wide)
        << "the title is cut";
}

TEST_F(GuidanceDialogsOnDesktopTest, HelpAsksForACloseBoxOnlyAndClosesOnAltF4) {
    HelpWindow help(&owner_);
    ASSERT_NO_FATAL_FAILURE(Show(help));

    const WindowFacts facts = desktop_.Facts(help);
    EXPECT_EQ(facts.title, "Installation Help");
    EXPECT_TRUE(facts.viewable);
    ASSERT_NO_FATAL_FAILURE(ExpectFixedDialogWithoutMinimiseOrMaximise(facts, QSize(432, 288)));
    EXPECT_TRUE(facts.motif->Offers(MotifHints::kClose));
    EXPECT_TRUE(facts.Allows("CLOSE"));

    // What the screen shows is what the window painted.
    const QImage painted = help.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop_.Grab(facts.clientRect) == painted; }));

    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Alt+F4")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !help.isVisible(); }));
}

TEST_F(GuidanceDialogsOnDesktopTest, ClickOnAProblemTextOnScreenShowsItsResolution) {
    HelpWindow help(&owner_);
    ASSERT_NO_FATAL_FAILURE(Show(help));

    ASSERT_TRUE(desktop_.Click(*help.findChild<QLabel*>(QStringLiteral("problemText_3"))));

    EXPECT_TRUE(help.findChild<QRadioButton*>(QStringLiteral("problemButton_3"))->isChecked());
    EXPECT_TRUE(help.findChild<QLabel*>(QStringLiteral("resolutionLabel"))
                    ->text()
                    .startsWith(QStringLiteral("This problem is most likely caused")));
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
    EXPECT_FALSE(help.isVisible());
}

TEST_F(GuidanceDialogsOnDesktopTest, ReleaseNotesAskForNoTitleBarButtonAndOutliveAltF4) {
    ReleaseNotesDialog notes(&owner_);
    CloseRequests closeRequests(notes);
    ASSERT_NO_FATAL_FAILURE(Show(notes));

    const WindowFacts facts = desktop_.Facts(notes);
    EXPECT_EQ(facts.title, "Orvald's Kelmora Release Notes");
    ASSERT_NO_FATAL_FAILURE(ExpectFixedDialogWithoutMinimiseOrMaximise(facts, QSize(408, 200)));
    EXPECT_FALSE(facts.motif->Offers(MotifHints::kClose));

    // openbox offers to close any window, and the window refuses; metacity offers no close.
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Alt+F4")));
    const int requests = desktop_.WindowManager() == QLatin1String("Openbox") ? 1 : 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return closeRequests.count == requests; }));
    ASSERT_TRUE(desktop_.Sync());
    EXPECT_TRUE(notes.isVisible());
    EXPECT_TRUE(desktop_.Facts(notes).viewable);

    // A window manager still busy with Alt+F4 may hold the keyboard a moment longer on a loaded
    // machine: Return is pressed until one lands.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return desktop_.PressKeys(QStringLiteral("Return")) && !notes.isVisible(); }));
    EXPECT_EQ(notes.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace kelmora
