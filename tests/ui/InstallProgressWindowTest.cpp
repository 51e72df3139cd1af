#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>

#include "core/InstallerState.h"
#include "core/PackProgress.h"
#include "core/ProgramEnd.h"
#include "platform/PathMapping.h"
#include "support/GameSandbox.h"
#include "support/ScriptedMessageBox.h"
#include "ui/InstallProgressWindow.h"

namespace kelmora {
namespace {

class InstallProgressWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "install_progress_window_test";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
    }

    template <typename T>
    T* Control(const char* name) {
        T* control = window.findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    InstallerState state;
    InstallProgressWindow window{state};
};

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
    // The texts show the game folder in lower case.
    EXPECT_EQ(Control<QLabel>("actionLabel")->text().toStdString(),
              "Compressing " + LowerCase(state.gameFolder) + "/rev31.gp3...");
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
    EXPECT_EQ(messages.shown[0].text, "Run-time error '53':\r\rFile not found");
}

}  // namespace
}  // namespace kelmora
