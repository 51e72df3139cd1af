// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "support/ScriptedMessageBox.h"
#include "support/WindowChecks.h"
#include "ui/GuidanceTexts.h"
#include "ui/ModalWindows.h"
#include "ui/ReleaseNotesDialog.h"

namespace kelmora {
namespace {

const QString kNotes =
    "Orvald's Kelmora requires certain files to be placed in certain subdirectories within the "
    "Total Annihilation folders in order to run correctly.  Certain other units and/or user "
    "modifications may require different versions of these files in order to run correctly."
    "\n\n"
    "This installation program will OVERWRITE all such files.  Doing so may render those units "
    "flawed or unplayable, and/or may introduce errors into the TA engine.  Thus, it is advised "
    "that you uninstall all user modifications that use any customized versions of the default "
    "AI profiles, as well as any modification that uses the SIDEDATA.TDF file.  "
    "\n\n"
    "This program has undergone significant testing, and appears to be quite safe.  However, "
    "Orvald and Haskel cannot assume liability for any conflict, corruption, or damage caused by "
    "this program.";

template <typename Control>
Control* Find(const QWidget& window, const char* name) {
    auto* control = window.findChild<Control*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
}

TEST(ReleaseNotesDialogTest, ShowsTheReleaseNotesAsDesigned) {
    ReleaseNotesDialog notes;
    notes.show();

    EXPECT_EQ(notes.windowTitle(), "Orvald's Kelmora Release Notes");
    EXPECT_EQ(notes.size(), QSize(408, 200));
    EXPECT_EQ(notes.minimumSize(), notes.maximumSize());
    EXPECT_EQ(notes.windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_FALSE(notes.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));

    const QLabel* text = Find<QLabel>(notes, "notesLabel");
    EXPECT_EQ(text->text(), kNotes);
    EXPECT_EQ(text->geometry(), QRect(0, 0, 409, 161));
    EXPECT_EQ(text->frameShape(), QFrame::Panel);
    EXPECT_EQ(text->backgroundRole(), QPalette::Base);
    EXPECT_TRUE(text->autoFillBackground());
    EXPECT_EQ(Find<QLabel>(notes, "proceedLabel")->text(), "Proceed with installation?");
    EXPECT_EQ(Find<QLabel>(notes, "proceedLabel")->geometry(), QRect(8, 168, 121, 17));
    EXPECT_EQ(Find<QPushButton>(notes, "yesButton")->text(), "Yes");
    EXPECT_EQ(Find<QPushButton>(notes, "yesButton")->geometry(), QRect(232, 168, 81, 25));
    EXPECT_EQ(Find<QPushButton>(notes, "noButton")->text(), "No");
    EXPECT_EQ(Find<QPushButton>(notes, "noButton")->geometry(), QRect(320, 168, 81, 25));
    EXPECT_EQ(testing::ClippedTexts(&notes), QStringList());
}

TEST(ReleaseNotesDialogTest, TheNotesAreThreeParagraphsSeparatedByTwoCarriageReturns) {
    const std::string notes = ReleaseNotesText();
    EXPECT_EQ(notes.find('\n'), std::string::npos);
    EXPECT_EQ(QString::fromStdString(notes).replace('\r', '\n'), kNotes);
}

TEST(ReleaseNotesDialogTest, EnterPressesYesWhereverTheFocusIs) {
    for (const char* focused : {"yesButton", "noButton"}) {
        ReleaseNotesDialog notes;
        testing::WhenModalShows([focused](QWidget* window) {
            QWidget* control = window->findChild<QWidget*>(focused);
            control->setFocus();
            QTest::keyClick(control, Qt::Key_Return);
        });
        EXPECT_EQ(notes.exec(), QDialog::Accepted) << focused;
    }
}

TEST(ReleaseNotesDialogTest, EscPressesNoWhereverTheFocusIsAndNoEndsTheProgram) {
    testing::CatchProgramEnd catchEnd;
    for (const char* focused : {"yesButton", "noButton"}) {
        ReleaseNotesDialog notes;
        notes.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&notes));
        QWidget* control = Find<QWidget>(notes, focused);
        control->setFocus();
        EXPECT_THROW(QTest::keyClick(control, Qt::Key_Escape), ProgramEnded) << focused;
    }
    ReleaseNotesDialog notes;
    notes.show();
    try {
        QTest::mouseClick(Find<QPushButton>(notes, "noButton"), Qt::LeftButton);
        ADD_FAILURE() << "No let the program go on";
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 0);
    }
}

TEST(ReleaseNotesDialogTest, OnlyYesAndNoLeaveTheWindow) {
    ReleaseNotesDialog notes;
    notes.show();
    notes.close();
    EXPECT_TRUE(notes.isVisible());

    QTest::mouseClick(Find<QPushButton>(notes, "yesButton"), Qt::LeftButton);
    EXPECT_FALSE(notes.isVisible());
    EXPECT_EQ(notes.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace kelmora
