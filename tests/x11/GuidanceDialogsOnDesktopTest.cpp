// SPDX-License-Identifier: GPL-3.0-or-later
// The help and release-notes windows on a real X server with openbox: what they ask the window
// manager for, what it makes of that, and real key presses and clicks.
#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QRadioButton>
#include <QTest>

#include "support/X11Desktop.h"
#include "ui/HelpWindow.h"
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
        // openbox takes the size hints: a fixed window cannot be resized or maximised.
        EXPECT_FALSE(facts.Allows("RESIZE"));
        EXPECT_FALSE(facts.Allows("MAXIMIZE_HORZ"));
        EXPECT_GT(facts.frameExtents.top(), 0) << "no title bar";
    }

    X11Desktop desktop_;
    QWidget owner_;
};

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

    // openbox offers to close any window; the window refuses.
    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Alt+F4")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return closeRequests.count == 1; }));
    ASSERT_TRUE(desktop_.Sync());
    EXPECT_TRUE(notes.isVisible());
    EXPECT_TRUE(desktop_.Facts(notes).viewable);

    ASSERT_TRUE(desktop_.PressKeys(QStringLiteral("Return")));
    EXPECT_EQ(notes.result(), QDialog::Accepted);
    EXPECT_FALSE(notes.isVisible());
}

}  // namespace
}  // namespace kelmora
