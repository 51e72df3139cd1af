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

// A game folder on a Wine prefix's drive C, which the prefix's registry names.
class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << testing::kNoWinePrefixes;
#endif
        prefix_.WriteGameFolder("C:\\Games\\TotalA");
    }
    std::filesystem::path Game() const { return prefix_.DriveC() / "Games" / "TotalA"; }

    FakeWinePrefix prefix_;
    InstallerState state_;
};

TEST_F(HandOverTest, InstalledPatchOpensTheControlPanelWithoutShowingTheMainWindow) {
    MakeFiles(Game(), {"rev31.gp3", "ccdata.ccx", "totala1.hpi", "Orv_Backup/rev31.gp3"});
    InstallerWindow mainWindow(state_);
    ShowCounter counter;
    mainWindow.installEventFilter(&counter);
    EXPECT_FALSE(mainWindow.Load());
    std::unique_ptr<ControlPanelWindow> panel = OpenedPanel();

    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(counter.shows, 0);
    EXPECT_FALSE(mainWindow.isVisible());
    EXPECT_EQ(state_.gameFolder, "C:\\Games\\TotalA")
        << "the list's own letter case, not lower case";
    EXPECT_EQ(panel->findChild<QGroupBox*>(QStringLiteral("modeFrame"))->title(), "Disable");
}

// An install killed after its backup and before it replaced rev31.gp3 is undone at the start: the
// installer opens, not a control panel for a patch that is not there, and says so once.
TEST_F(HandOverTest, AnInterruptedInstallIsUndoneAndTheInstallerOpens) {
    MakeFiles(Game(), {"rev31.gp3", "ccdata.ccx", "totala1.hpi", "Orv_Backup/rev31.gp3",
                       "Orv_Rev31/scripts/armcom.cob"});
    testing::ScriptedMessageBox box;
    InstallerWindow mainWindow(state_);
    EXPECT_TRUE(mainWindow.Load());
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_NE(box.shown[0].text.find("has been removed:\r\r     Orv_Backup\r     Orv_Rev31"),
              std::string::npos)
        << box.shown[0].text;
    EXPECT_FALSE(std::filesystem::exists(Game() / "Orv_Backup"));
    EXPECT_FALSE(std::filesystem::exists(Game() / "Orv_Rev31"));
    EXPECT_TRUE(std::filesystem::exists(Game() / "rev31.gp3"));
}

}  // namespace
}  // namespace kelmora
