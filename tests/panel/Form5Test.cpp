#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>

#include "GameFolder.h"
#include "app/Application.h"
#include "app/Globals.h"
#include "panel/Form5.h"
#include "support/FormChecks.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora {
namespace {

using testing::GameFolder;
using testing::kOriginal;
using testing::kPatched;
using testing::ReadFile;
using testing::ScriptedMessageBox;

// A control panel started on `game`, as a new start of the program would show it.
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

// The button that Frame1 shows: Command3 (Enable) while the patch is parked, Command2 (Disable)
// otherwise. Exactly one of the two may be shown.
QPushButton* ModeButton(const Form5& panel) {
    QPushButton* disable = Button(panel, "Command2");
    QPushButton* enable = Button(panel, "Command3");
    EXPECT_NE(disable->isVisible(), enable->isVisible());
    return enable->isVisible() ? enable : disable;
}

QString ModeCaption(const Form5& panel) {
    return panel.findChild<QGroupBox*>(QStringLiteral("Frame1"))->title();
}

// Runs `press` and returns the status the program ended with, or -1 when it did not end.
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

int ClickToEnd(QPushButton* button) {
    return EndStatusOf([button] { QTest::mouseClick(button, Qt::LeftButton); });
}

TEST(Form5Test, ActionsMoveBetweenStatesAndANewPanelShowsTheMatchingMode) {
    GameFolder game;
    ScriptedMessageBox box;

    auto panel = OpenPanel(game);
    ASSERT_EQ(ModeCaption(*panel), "Disable");
    EXPECT_EQ(ClickToEnd(ModeButton(*panel)), 0);
    EXPECT_EQ(ReadFile(game.gameArchive()), kOriginal);
    EXPECT_EQ(ReadFile(game.backupArchive()), kOriginal);
    EXPECT_EQ(ReadFile(game.parkedArchive()), kPatched);
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[1].text, "Orvald's Kelmora has been successfully disabled.");
    EXPECT_EQ(box.shown[1].title, kAppTitle);
    EXPECT_EQ(box.shown[1].buttons, MsgButtons::kOk);
    EXPECT_EQ(box.shown[1].icon, MsgIcon::kNone);

    panel = OpenPanel(game);
    ASSERT_EQ(ModeCaption(*panel), "Enable");
    EXPECT_EQ(ClickToEnd(ModeButton(*panel)), 0);
    EXPECT_EQ(ReadFile(game.gameArchive()), kPatched);
    EXPECT_EQ(ReadFile(game.backupArchive()), kOriginal);
    EXPECT_FALSE(std::filesystem::exists(game.parkedArchive()));
    EXPECT_EQ(box.shown.back().text, "Orvald's Kelmora has been successfully enabled.");

    panel = OpenPanel(game);
    ASSERT_EQ(ModeCaption(*panel), "Disable");
    EXPECT_EQ(ClickToEnd(Button(*panel, "Command1")), 0);
    EXPECT_EQ(ReadFile(game.gameArchive()), kOriginal);
    EXPECT_FALSE(std::filesystem::exists(game.backupFolder()));
    EXPECT_EQ(box.shown.back().text,
              "Uninstallation successful.  Orvald's Kelmora has been successfully removed from "
              "your system.");
}

TEST(Form5Test, UninstallFromTheDisabledStateRestoresTheOriginalAndDropsTheParkedArchive) {
    GameFolder game;
    ScriptedMessageBox box;
    EXPECT_EQ(ClickToEnd(ModeButton(*OpenPanel(game))), 0);

    auto panel = OpenPanel(game);
    ASSERT_EQ(ModeCaption(*panel), "Enable");
    EXPECT_EQ(ClickToEnd(Button(*panel, "Command1")), 0);
    EXPECT_EQ(ReadFile(game.gameArchive()), kOriginal);
    EXPECT_FALSE(std::filesystem::exists(game.backupFolder()));
}

TEST(Form5Test, ParkedArchiveAloneDecidesTheMode) {
    GameFolder parkedOnly;
    parkedOnly.MakeDisabled();
    std::filesystem::remove(parkedOnly.backupArchive());
    EXPECT_EQ(ModeCaption(*OpenPanel(parkedOnly)), "Enable");

    GameFolder backupOnly;
    EXPECT_EQ(ModeCaption(*OpenPanel(backupOnly)), "Disable");
}

TEST(Form5Test, DeclinedOrRefusedActionKeepsThePanelOpen) {
    GameFolder game;
    std::filesystem::remove(game.backupArchive());
    const std::string before = game.Snapshot();
    ScriptedMessageBox box;
    box.Answer(MsgAnswer::kNo);
    auto panel = OpenPanel(game);

    EXPECT_EQ(ClickToEnd(Button(*panel, "Command1")), -1) << "No";
    EXPECT_EQ(ClickToEnd(Button(*panel, "Command1")), -1) << "backup missing";

    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(game.Snapshot(), before);
    ASSERT_EQ(box.shown.size(), 3u);
    EXPECT_EQ(box.shown[2].icon, MsgIcon::kCritical);
}

TEST(Form5Test, FailingFileOperationShowsTheRunTimeErrorReport) {
    testing::ScopedPermissionChecks permissionsBind;
    GameFolder game;
    testing::ScopedPermissions readOnly(game.backupFolder(), testing::kReadOnlyFolder);
    const std::string before = game.Snapshot();
    ScriptedMessageBox box;
    auto panel = OpenPanel(game);

    EXPECT_EQ(ClickToEnd(ModeButton(*panel)), 1);

    EXPECT_EQ(game.Snapshot(), before);
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_EQ(box.shown[1].text, "Run-time error '70':\r\rPermission denied");
    EXPECT_EQ(box.shown[1].icon, MsgIcon::kCritical);
}

TEST(Form5Test, ExitAndTheCloseBoxEndTheProgramWithoutAQuestion) {
    GameFolder game;
    ScriptedMessageBox box;
    auto panel = OpenPanel(game);
    EXPECT_EQ(EndStatusOf([&] { QTest::keyClick(panel.get(), Qt::Key_X, Qt::ControlModifier); }),
              0);

    EXPECT_EQ(EndStatusOf([&] {
                  QTest::keyClick(panel.get(), Qt::Key_F, Qt::AltModifier);
                  QTRY_VERIFY(QApplication::activePopupWidget());
                  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_X);
              }),
              0);

    EXPECT_EQ(EndStatusOf([&] { panel->close(); }), 0);
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(ReadFile(game.gameArchive()), kPatched);
}

TEST(Form5Test, AboutShowsTheCreditsAndKeepsThePanelOpen) {
    GameFolder game;
    ScriptedMessageBox box;
    auto panel = OpenPanel(game);

    QTest::keyClick(panel.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_A);

    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text,
              "Orvald's Kelmora Credits:\r"
              "     Concept:\r"
              "          Orvald\r"
              "\r"
              "     Scripting and installation program:\r"
              "          Haskel\r"
              "\r"
              "     Additional scripting:\r"
              "          Nimbrel\r"
              "          Orvald\r"
              "\r"
              "     Special thanks to:\r"
              "          Arno P., for his HPIUtil run-time library\r"
              "          Quorrin\r"
              "\r"
              "Copyright \xC2\xA9 1999-2026 Orvald and Haskel");
    EXPECT_EQ(std::count(box.shown[0].text.begin(), box.shown[0].text.end(), '\r'), 15);
    EXPECT_EQ(box.shown[0].title, kAppTitle);
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
    EXPECT_FALSE(panel->windowIcon().isNull());

    const int menuBottom = panel->menuBar()->geometry().bottom() + 1;
    EXPECT_EQ(panel->centralWidget()->geometry(), QRect(0, menuBottom, 320, 64));
    EXPECT_EQ(panel->size(), QSize(320, menuBottom + 64));

    auto frame = [&](const char* name) {
        return panel->findChild<QGroupBox*>(QString::fromLatin1(name))->geometry();
    };
    EXPECT_EQ(frame("Frame2"), QRect(8, 8, 145, 49));
    EXPECT_EQ(frame("Frame1"), QRect(168, 8, 145, 49));
    EXPECT_EQ(Button(*panel, "Command1")->geometry(), QRect(8, 16, 121, 25));
    EXPECT_EQ(Button(*panel, "Command2")->geometry(), QRect(8, 16, 129, 25));
    EXPECT_EQ(Button(*panel, "Command3")->geometry(), QRect(8, 16, 129, 25));

    EXPECT_EQ(testing::TabChain(Button(*panel, "Command1"), 3),
              (QList<QWidget*>{Button(*panel, "Command1"), Button(*panel, "Command2"),
                               Button(*panel, "Command1")}));
    EXPECT_TRUE(testing::ClippedTexts(panel.get()).isEmpty()) << "clipped texts";
}

}  // namespace
}  // namespace kelmora

int main(int argc, char** argv) {
    kelmora::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
