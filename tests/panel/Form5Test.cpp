#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "GameFolder.h"
#include "app/Globals.h"
#include "panel/Form5.h"
#include "support/FormChecks.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora {
namespace {

using testing::GameFolder;
using testing::ScriptedMessageBox;

// A control panel on `game`, as a new start of the program shows it.
std::unique_ptr<Form5> OpenPanel(const GameFolder& game) {
    TADir = game.taDir();
    auto panel = std::make_unique<Form5>();
    panel->show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    return panel;
}

QPushButton* Button(const Form5& panel, const char* name) {
    return panel.findChild<QPushButton*>(QString::fromLatin1(name));
}

// The right-hand frame's caption and button; exactly one of Command2 and Command3 is shown.
QString Mode(const Form5& panel) {
    EXPECT_NE(Button(panel, "Command2")->isVisible(), Button(panel, "Command3")->isVisible());
    return panel.findChild<QGroupBox*>(QStringLiteral("Frame1"))->title();
}
QPushButton* ModeButton(const Form5& panel) {
    return Button(panel, Mode(panel) == "Enable" ? "Command3" : "Command2");
}

// The status the program ended with during `press`, or -1 when it did not end.
template <typename Press>
int EndStatusOf(Press press) {
    testing::CatchProgramEnd catchEnd;
    try {
        press();
    } catch (const ProgramEnded& end) {
        return end.status;
    }
    return -1;
}

int Click(QPushButton* button) {
    return EndStatusOf([button] { QTest::mouseClick(button, Qt::LeftButton); });
}

TEST(Form5Test, ActionsMoveBetweenStatesAndANewPanelShowsTheMatchingMode) {
    GameFolder game;
    ScriptedMessageBox box;

    EXPECT_EQ(Mode(*OpenPanel(game)), "Disable");
    EXPECT_EQ(Click(ModeButton(*OpenPanel(game))), 0);
    EXPECT_EQ(game.State(), "original|original|patched");
    EXPECT_EQ(box.shown.back().text, "Orvald's Kelmora has been successfully disabled.");
    EXPECT_EQ(box.shown.back().icon, MsgIcon::kNone);

    EXPECT_EQ(Mode(*OpenPanel(game)), "Enable");
    EXPECT_EQ(Click(ModeButton(*OpenPanel(game))), 0);
    EXPECT_EQ(game.State(), "patched|original|-");
    EXPECT_EQ(box.shown.back().text, "Orvald's Kelmora has been successfully enabled.");

    EXPECT_EQ(Mode(*OpenPanel(game)), "Disable");
    EXPECT_EQ(Click(Button(*OpenPanel(game), "Command1")), 0);
    EXPECT_EQ(game.State(), "original|-|-");
    EXPECT_FALSE(std::filesystem::exists(game.backupFolder()));
    EXPECT_EQ(box.shown.back().text,
              "Uninstallation successful.  Orvald's Kelmora has been successfully removed from "
              "your system.");

    GameFolder disabled;
    disabled.MakeDisabled();
    EXPECT_EQ(Click(Button(*OpenPanel(disabled), "Command1")), 0);
    EXPECT_EQ(disabled.State(), "original|-|-");
    EXPECT_FALSE(std::filesystem::exists(disabled.backupFolder()));
}

TEST(Form5Test, NoOrAMissingSourceKeepsThePanelOpen) {
    GameFolder game;
    std::filesystem::remove(game.backupArchive());
    ScriptedMessageBox box;
    box.Answer(MsgAnswer::kNo);
    auto panel = OpenPanel(game);

    EXPECT_EQ(Click(Button(*panel, "Command1")), -1);
    EXPECT_EQ(Click(Button(*panel, "Command1")), -1);

    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(game.State(), "patched|-|-");
    ASSERT_EQ(box.shown.size(), 3u);
    EXPECT_EQ(box.shown[2].icon, MsgIcon::kCritical);
}

// Disable's second copy fails after the first has parked the patched archive: the parked copy
// goes again, so the panel's mode still matches the game archive.
TEST(Form5Test, FailureHalfwayShowsTheRunTimeErrorReportAndKeepsTheGameArchive) {
    GameFolder game;
    ScriptedMessageBox box;
    auto panel = OpenPanel(game);
    {
        testing::ScopedUnreadable unreadable(game.backupArchive());
        EXPECT_EQ(Click(ModeButton(*panel)), 1);
    }
    EXPECT_EQ(game.State(), "patched|original|-");
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[1].text, "Run-time error '70':\r\rPermission denied");
    EXPECT_EQ(box.shown[1].icon, MsgIcon::kCritical);
}

TEST(Form5Test, MenusEndTheProgramOrShowTheCredits) {
    GameFolder game;
    ScriptedMessageBox box;
    auto panel = OpenPanel(game);
    EXPECT_EQ(EndStatusOf([&] { QTest::keyClick(panel.get(), Qt::Key_X, Qt::ControlModifier); }),
              0);
    EXPECT_EQ(EndStatusOf([&] { panel->close(); }), 0);
    EXPECT_TRUE(box.shown.empty()) << "no question before the end";

    QTest::keyClick(panel.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_A);

    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text,
              "Orvald's Kelmora Credits:\r     Concept:\r          Orvald\r\r"
              "     Scripting and installation program:\r          Haskel\r\r"
              "     Additional scripting:\r          Nimbrel\r          Orvald\r\r"
              "     Special thanks to:\r          Arno P., for his HPIUtil run-time library\r"
              "          Quorrin\r\r"
              "Copyright \xC2\xA9 1999-2026 Orvald and Haskel");
    EXPECT_EQ(box.shown[0].icon, MsgIcon::kNone);
    EXPECT_TRUE(panel->isVisible());
}

TEST(Form5Test, WindowLayout) {
    GameFolder game;
    auto panel = OpenPanel(game);

    EXPECT_EQ(panel->windowTitle(), "Orvald's Kelmora Control Panel");
    EXPECT_FALSE(panel->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(panel->minimumSize(), panel->maximumSize());
    const int menuBottom = panel->menuBar()->geometry().bottom() + 1;
    EXPECT_EQ(panel->centralWidget()->geometry(), QRect(0, menuBottom, 320, 64));
    EXPECT_EQ(panel->size(), QSize(320, menuBottom + 64));

    EXPECT_EQ(panel->findChild<QGroupBox*>(QStringLiteral("Frame2"))->geometry(),
              QRect(8, 8, 145, 49));
    EXPECT_EQ(panel->findChild<QGroupBox*>(QStringLiteral("Frame1"))->geometry(),
              QRect(168, 8, 145, 49));
    EXPECT_EQ(Button(*panel, "Command1")->geometry(), QRect(8, 16, 121, 25));
    EXPECT_EQ(Button(*panel, "Command2")->geometry(), QRect(8, 16, 129, 25));
    EXPECT_EQ(Button(*panel, "Command3")->geometry(), QRect(8, 16, 129, 25));
    EXPECT_EQ(testing::TabChain(Button(*panel, "Command1"), 2),
              (QList<QWidget*>{Button(*panel, "Command1"), Button(*panel, "Command2")}));
    EXPECT_TRUE(testing::ClippedTexts(panel.get()).isEmpty());
}

}  // namespace
}  // namespace kelmora
