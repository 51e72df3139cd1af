// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QTest>
#include <memory>

#include "core/InstallerState.h"
#include "support/FakeGamePrefix.h"
#include "support/ScriptedMessageBox.h"
#include "ui/ControlPanelWindow.h"
#include "ui/InstallerWindow.h"

namespace kelmora {
namespace {

using testing::FakeWinePrefix;
using testing::MakeFiles;

// Counts the times a window is shown.
class ShowCounter : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) ++shows;
        return false;
    }
};

// The control panel the hand-over opened, owned by the test from here on.
std::unique_ptr<ControlPanelWindow> OpenedPanel() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* panel = dynamic_cast<ControlPanelWindow*>(window); panel && panel->isVisible()) {
            return std::unique_ptr<ControlPanelWindow>(panel);
        }
    }
    return nullptr;
}

TEST(HandOverTest, InstalledPatchOpensTheControlPanelWithoutShowingTheMainWindow) {
#ifdef _WIN32
    GTEST_SKIP() << testing::kNoWinePrefixes;
#endif
    FakeWinePrefix prefix;
    const std::filesystem::path game = prefix.DriveC() / "Games" / "TotalA";
    MakeFiles(game, {"rev31.gp3", "ccdata.ccx", "totala1.hpi", "Orv_Backup/rev31.gp3"});
    prefix.WriteGameFolder("C:\\Games\\TotalA");
    InstallerState state;
    InstallerWindow mainWindow(state);
    ShowCounter counter;
    mainWindow.installEventFilter(&counter);
    EXPECT_FALSE(mainWindow.Load());
    std::unique_ptr<ControlPanelWindow> panel = OpenedPanel();

    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(counter.shows, 0);
    EXPECT_FALSE(mainWindow.isVisible());
    EXPECT_EQ(state.gameFolder, "C:\\Games\\TotalA")
        << "the list's own letter case, not lower case";
    EXPECT_EQ(panel->findChild<QGroupBox*>(QStringLiteral("modeFrame"))->title(), "Disable");
}

// An install killed after its backup and before it replaced rev31.gp3 is undone at the start: the
// installer opens, not a control panel for a patch that is not there, and says so once.
TEST(HandOverTest, AnInterruptedInstallIsUndoneAndTheInstallerOpens) {
#ifdef _WIN32
    GTEST_SKIP() << testing::kNoWinePrefixes;
#endif
    FakeWinePrefix prefix;
    const std::filesystem::path game = prefix.DriveC() / "Games" / "TotalA";
    MakeFiles(game, {"rev31.gp3", "ccdata.ccx", "totala1.hpi", "Orv_Backup/rev31.gp3",
                     "Orv_Rev31/scripts/armcom.cob"});
    prefix.WriteGameFolder("C:\\Games\\TotalA");
    testing::ScriptedMessageBox box;
    InstallerState state;
    InstallerWindow mainWindow(state);
    EXPECT_TRUE(mainWindow.Load());
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_NE(box.shown[0].text.find("has been removed:\r\r     Orv_Backup\r     Orv_Rev31"),
              std::string::npos)
        << box.shown[0].text;
    EXPECT_FALSE(std::filesystem::exists(game / "Orv_Backup"));
    EXPECT_FALSE(std::filesystem::exists(game / "Orv_Rev31"));
    EXPECT_TRUE(std::filesystem::exists(game / "rev31.gp3"));
}

}  // namespace
}  // namespace kelmora
