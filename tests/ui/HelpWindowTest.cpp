// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "support/WindowChecks.h"
#include "ui/HelpWindow.h"
#include "ui/ModalWindows.h"

namespace kelmora {
namespace {

const QString kRegistryFault =
    "This problem is caused by a fault within the Windows registry.  The installer attempts to "
    "look up the TA installation directory by calling the uninstall information in the Registry.  "
    "If you are experiencing this problem, then that information was somehow removed from the "
    "Registry.\n\n";

const QString kResolutions[] = {
    "This problem is caused by the installer being unable to find one of the key files needed to "
    "install the patch.\n\nPlease verify that the files totala1.hpi, ccdata.ccx, and rev31.gp3 "
    "are all in the directory indicated by the first text box.  Also, the file Kelmora.ufo must "
    "be in the directory indicated by the second text box.",
    kRegistryFault +
        "This error is not fatal.  You must simply type in the proper directory into the first "
        "text box to install this patch.",
    kRegistryFault +
        "This error is not fatal.  You must simply type in the proper directory into the first "
        "text box to uninstall or disable this patch.",
    "This problem is most likely caused by the installation of another 3rd-party rev31.gp3 "
    "modification.\n\nTo avoid seeing these errors, please restore the original files from "
    "backup copies, or preform a clean reinstallation of TA.",
    "If you have a question about the patch itself, please contact Orvald (orvald@example.org)."
    "\n\nIf you have a question about the patch installer, please contact Haskel "
    "(haskel@example.org).\n\nBoth of us are also available on IRC (irc.example.org).",
};

struct Problem {
    QString text;
    QRect option;
    QRect label;
};

const Problem kProblems[] = {
    {"The \"OK\" button is grayed out.", {8, 16, 17, 17}, {24, 16, 185, 17}},
    {"The \"TA Directory\" button is grayed out and the installer can't find my TA directory.",
     {8, 32, 17, 17},
     {24, 32, 185, 41}},
    {"I am trying to uninstall or disable this patch, but I keep getting the main screen with "
     "the \"TA Directory\" button grayed out and the first text box blank.",
     {208, 16, 17, 17},
     {224, 16, 185, 65}},
    {"I am getting error messages about incorrect file versions.",
     {8, 72, 17, 17},
     {24, 72, 185, 33}},
    {"I have a different question.  How can I contact you?", {208, 72, 17, 17}, {224, 72, 185, 25}},
};

QRadioButton* Option(const QWidget& help, int index) {
    return help.findChild<QRadioButton*>(QStringLiteral("problemButton_%1").arg(index));
}

QLabel* ProblemLabel(const QWidget& help, int index) {
    return help.findChild<QLabel*>(QStringLiteral("problemText_%1").arg(index));
}

QString Resolution(const QWidget& help) {
    return help.findChild<QLabel*>("resolutionLabel")->text();
}

class HelpWindowTest : public ::testing::Test {
protected:
    HelpWindowTest() {
        help_.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&help_));
    }
    HelpWindow help_;
};

TEST_F(HelpWindowTest, ShowsTheProblemsAsDesignedWithNoneSelected) {
    EXPECT_EQ(help_.windowTitle(), "Installation Help");
    EXPECT_EQ(help_.size(), QSize(432, 288));
    EXPECT_EQ(help_.minimumSize(), help_.maximumSize());
    EXPECT_TRUE(help_.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(help_.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    const auto* ok = help_.findChild<QPushButton*>("okButton");
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(ok->geometry(), QRect(344, 256, 81, 25));
    const auto* problems = help_.findChild<QGroupBox*>("problemFrame");
    EXPECT_EQ(problems->title(), "Problem");
    EXPECT_EQ(problems->geometry(), QRect(8, 8, 417, 113));
    const auto* resolution = help_.findChild<QGroupBox*>("resolutionFrame");
    EXPECT_EQ(resolution->title(), "Resolution");
    EXPECT_EQ(resolution->geometry(), QRect(8, 128, 417, 121));
    const auto* resolutionText = help_.findChild<QLabel*>("resolutionLabel");
    EXPECT_EQ(resolutionText->parent(), resolution);
    EXPECT_EQ(resolutionText->geometry(), QRect(8, 16, 401, 97));
    EXPECT_EQ(resolutionText->frameShape(), QFrame::Panel);
    EXPECT_EQ(resolutionText->backgroundRole(), QPalette::Base);
    EXPECT_EQ(resolutionText->text(), "");

    for (int index = 0; index < 5; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(Option(help_, index)->parent(), problems);
        EXPECT_EQ(Option(help_, index)->geometry(), kProblems[index].option);
        EXPECT_FALSE(Option(help_, index)->isChecked());
        EXPECT_EQ(Option(help_, index)->toolTip(), "");
        EXPECT_EQ(Option(help_, index)->property("toolTipText").toString(),
                  index >= 1 && index <= 3 ? "The \"TA Directory\" button is grayed out." : "");
        EXPECT_EQ(ProblemLabel(help_, index)->text(), kProblems[index].text);
        EXPECT_EQ(ProblemLabel(help_, index)->geometry(), kProblems[index].label);
    }
    EXPECT_EQ(testing::ClippedTexts(&help_), QStringList());
}

TEST_F(HelpWindowTest, TabGoesFromTheFirstProblemToOkThenThroughTheOtherProblems) {
    QStringList order;
    for (QWidget* widget : testing::TabChain(Option(help_, 0), 7)) order << widget->objectName();
    EXPECT_EQ(order,
              QStringList({"problemButton_0", "okButton", "problemButton_1", "problemButton_2",
                           "problemButton_3", "problemButton_4", "problemButton_0"}));
}

TEST_F(HelpWindowTest, PickingAProblemShowsItsResolution) {
    for (int index : {0, 1, 2, 3, 4, 1, 1}) {
        QTest::mouseClick(Option(help_, index), Qt::LeftButton);
        for (int other = 0; other < 5; ++other) {
            EXPECT_EQ(Option(help_, other)->isChecked(), other == index) << index << other;
        }
        EXPECT_EQ(Resolution(help_), kResolutions[index]) << index;
    }
}

TEST_F(HelpWindowTest, ClickingAProblemsTextFocusesAndPicksItsOption) {
    QTest::mouseClick(ProblemLabel(help_, 3), Qt::RightButton);
    EXPECT_FALSE(Option(help_, 3)->isChecked());
    for (int index : {1, 2, 2, 4}) {
        QTest::mouseClick(ProblemLabel(help_, index), Qt::LeftButton);
        EXPECT_TRUE(Option(help_, index)->isChecked()) << index;
        EXPECT_TRUE(Option(help_, index)->hasFocus()) << index;
        EXPECT_EQ(Resolution(help_), kResolutions[index]) << index;
    }
}

TEST_F(HelpWindowTest, TabbingOntoAProblemPicksItButOpeningTheWindowPicksNone) {
    ASSERT_TRUE(Option(help_, 0)->hasFocus());
    EXPECT_FALSE(Option(help_, 0)->isChecked());
    // The first problem has the focus already: a click on its text changes nothing.
    QTest::mouseClick(ProblemLabel(help_, 0), Qt::LeftButton);
    EXPECT_FALSE(Option(help_, 0)->isChecked());
    EXPECT_EQ(Resolution(help_), "");

    QTest::keyClick(&help_, Qt::Key_Tab);  // onto OK
    EXPECT_EQ(Resolution(help_), "");
    for (int index : {1, 2, 3}) {
        QTest::keyClick(help_.focusWidget(), Qt::Key_Tab);
        EXPECT_TRUE(Option(help_, index)->isChecked()) << index;
        EXPECT_EQ(Resolution(help_), kResolutions[index]) << index;
    }
    QTest::keyClick(help_.focusWidget(), Qt::Key_Backtab);
    EXPECT_TRUE(Option(help_, 2)->isChecked());
    EXPECT_FALSE(Option(help_, 3)->isChecked());
    EXPECT_EQ(Resolution(help_), kResolutions[2]);
}

// As in a group of classic option buttons, round from the last problem to the first.
TEST_F(HelpWindowTest, ArrowKeysMoveAmongTheProblemsAndPickThem) {
    const std::pair<Qt::Key, int> moves[] = {
        {Qt::Key_Down, 1}, {Qt::Key_Right, 2}, {Qt::Key_Down, 3}, {Qt::Key_Down, 4},
        {Qt::Key_Down, 0}, {Qt::Key_Up, 4},    {Qt::Key_Left, 3}};
    for (const auto& [key, index] : moves) {
        QTest::keyClick(help_.focusWidget(), key);
        EXPECT_TRUE(Option(help_, index)->hasFocus()) << index;
        EXPECT_TRUE(Option(help_, index)->isChecked()) << index;
        EXPECT_EQ(Resolution(help_), kResolutions[index]) << index;
    }
}

TEST(HelpWindowKeysTest, EnterAndEscCloseTheWindowWhereverTheFocusIs) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        for (const char* focused : {"problemButton_3", "okButton"}) {
            HelpWindow help;
            int shown = 0;
            testing::WhenModalShows(
                [focused, key](QWidget* window) {
                    QWidget* control = window->findChild<QWidget*>(focused);
                    control->setFocus();
                    QTest::keyClick(control, key);
                },
                &shown);
            help.exec();
            EXPECT_EQ(shown, 1);
            EXPECT_FALSE(help.isVisible()) << focused;
        }
    }
}

}  // namespace
}  // namespace kelmora
