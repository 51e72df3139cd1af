// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "platform/PathMapping.h"
#include "support/GameFolder.h"
#include "support/ScriptedMessageBox.h"
#include "support/WindowChecks.h"
#include "ui/ControlPanelWindow.h"

namespace kelmora {
namespace {

using testing::GameFolder;
using testing::ScriptedMessageBox;

// A control panel on `game`, as a new start of the program shows it.
std::unique_ptr<ControlPanelWindow> OpenPanel(const GameFolder& game) {
    auto panel = std::make_unique<ControlPanelWindow>(game.folderText());
    panel->show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    return panel;
}

QPushButton* Button(const ControlPanelWindow& panel, const char* name) {
    return panel.findChild<QPushButton*>(QString::fromLatin1(name));
}

// The right-hand frame's caption and button; exactly one of the disable and enable buttons is
// shown.
QString Mode(const ControlPanelWindow& panel) {
    EXPECT_NE(Button(panel, "disableButton")->isVisible(),
              Button(panel, "enableButton")->isVisible());
    return panel.findChild<QGroupBox*>(QStringLiteral("modeFrame"))->title();
}
QPushButton* ModeButton(const ControlPanelWindow& panel) {
    return Button(panel, Mode(panel) == "Enable" ? "enableButton" : "disableButton");
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

TEST(ControlPanelWindowTest, ActionsMoveBetweenStatesAndANewPanelShowsTheMatchingMode) {
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
    EXPECT_EQ(Click(Button(*OpenPanel(game), "uninstallButton")), 0);
    EXPECT_EQ(game.State(), "original|-|-");
    EXPECT_FALSE(std::filesystem::exists(game.backupFolder()));
    EXPECT_EQ(box.shown.back().text,
              "Uninstallation successful.  Orvald's Kelmora has been successfully removed from "
              "your system.");

    GameFolder disabled;
    disabled.MakeDisabled();
    EXPECT_EQ(Click(Button(*OpenPanel(disabled), "uninstallButton")), 0);
    EXPECT_EQ(disabled.State(), "original|-|-");
    EXPECT_FALSE(std::filesystem::exists(disabled.backupFolder()));
}

TEST(ControlPanelWindowTest, NoOrAMissingSourceKeepsThePanelOpen) {
    GameFolder game;
    std::filesystem::remove(game.backupArchive());
    ScriptedMessageBox box;
    box.Answer(MsgAnswer::kNo);
    auto panel = OpenPanel(game);

    EXPECT_EQ(Click(Button(*panel, "uninstallButton")), -1);
    EXPECT_EQ(Click(Button(*panel, "uninstallButton")), -1);

    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(game.State(), "patched|-|-");
    ASSERT_EQ(box.shown.size(), 3u);
    EXPECT_EQ(box.shown[2].icon, MsgIcon::kCritical);
}

// Disable's second copy fails after the first has parked the patched archive: the parked copy
// goes again, so the panel's mode still matches the game archive.
TEST(ControlPanelWindowTest, FailureHalfwayShowsTheRunTimeErrorReportAndKeepsTheGameArchive) {
    GameFolder game;
    ScriptedMessageBox box;
    auto panel = OpenPanel(game);
    {
        testing::ScopedUnreadable unreadable(game.gameArchive());
        EXPECT_EQ(Click(ModeButton(*panel)), 1);
    }
    EXPECT_EQ(game.State(), "patched|original|-");
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[1].text, "Run-time error '70':\r\rPermission denied: " +
                                     JoinPath(ShownFolder(game.folderText()), "\\rev31.gp3"));
    EXPECT_EQ(box.shown[1].icon, MsgIcon::kCritical);
}

TEST(ControlPanelWindowTest, MenusEndTheProgramOrShowTheCredits) {
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

TEST(ControlPanelWindowTest, WindowLayout) {
    GameFolder game;
    auto panel = OpenPanel(game);

    EXPECT_EQ(panel->windowTitle(), "Orvald's Kelmora Control Panel");
    EXPECT_FALSE(panel->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(panel->minimumSize(), panel->maximumSize());
    const int menuBottom = panel->menuBar()->geometry().bottom() + 1;
    EXPECT_EQ(panel->centralWidget()->geometry(), QRect(0, menuBottom, 320, 64));
    EXPECT_EQ(panel->size(), QSize(320, menuBottom + 64));

    EXPECT_EQ(panel->findChild<QGroupBox*>(QStringLiteral("uninstallFrame"))->geometry(),
              QRect(8, 8, 145, 49));
    EXPECT_EQ(panel->findChild<QGroupBox*>(QStringLiteral("modeFrame"))->geometry(),
              QRect(168, 8, 145, 49));
    EXPECT_EQ(Button(*panel, "uninstallButton")->geometry(), QRect(8, 16, 121, 25));
    EXPECT_EQ(Button(*panel, "disableButton")->geometry(), QRect(8, 16, 129, 25));
    EXPECT_EQ(Button(*panel, "enableButton")->geometry(), QRect(8, 16, 129, 25));
    EXPECT_EQ(
        testing::TabChain(Button(*panel, "uninstallButton"), 2),
        (QList<QWidget*>{Button(*panel, "uninstallButton"), Button(*panel, "disableButton")}));
    EXPECT_TRUE(testing::ClippedTexts(panel.get()).isEmpty());
}

}  // namespace
}  // namespace kelmora
