#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>

#include "app/Globals.h"
#include "app/ProgramEnd.h"
#include "install/Callback.h"
#include "install/Form2.h"
#include "install/GameSandbox.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora {
namespace {

class Form2Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "form2_test";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
    }

    template <typename T>
    T* Control(const char* name) {
        T* control = form.findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    Form2 form;
};

TEST_F(Form2Test, IsAFixedWindowWithoutButtonsOrCloseBox) {
    EXPECT_EQ(form.windowTitle(), "Installing Orvald's Kelmora");
    EXPECT_EQ(form.size(), QSize(464, 72));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.windowType(), Qt::Dialog);  // no task-bar entry
    EXPECT_TRUE(form.isModal());
    EXPECT_EQ(Control<QGroupBox>("Frame1")->title(), "Current Action:");
    EXPECT_EQ(Control<QLabel>("Label1")->text(), "Preparing to install...");
    EXPECT_EQ(Control<QLabel>("Label2")->text(), "0%");
    EXPECT_EQ(Control<QFrame>("Picture1")->geometry(), QRect(8, 32, 433, 17));
}

TEST_F(Form2Test, PackingProgressDrawsABlueBarFromTheLeftOverTheBlackTrack) {
    form.show();
    LastPercent = 0;
    SetPackDisplay(&form);
    PackProgress(0, 0, 0, 0, 0, 0, 1, 4);
    SetPackDisplay(nullptr);

    EXPECT_EQ(Control<QLabel>("Label2")->text(), "25%");
    QWidget* track = Control<QFrame>("Picture1");
    const QRect inner = static_cast<QFrame*>(track)->contentsRect();
    EXPECT_EQ(Control<QWidget>("Shape1")->geometry(),
              QRect(inner.left(), inner.top(), inner.width() / 4, inner.height()));
    const QImage image = track->grab().toImage();
    // Sampled on the bar's lower edge, clear of the percentage text.
    const int y = inner.bottom();
    EXPECT_EQ(image.pixelColor(inner.left(), y), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(inner.left() + inner.width() / 4 - 1, y), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(inner.left() + inner.width() / 4 + 1, y), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(inner.right(), y), QColor(0, 0, 0));
}

TEST_F(Form2Test, ActivationInstallsShowsTheOutcomeAndEndsTheProgram) {
    testing::GameSandbox sandbox(
        {{"scripts", std::nullopt}, {"scripts\\a.cob", "game"}},
        {{"rev31.gp3\\scripts", std::nullopt}, {"rev31.gp3\\scripts\\a.cob", "package"}});
    TADir = sandbox.gameFolder.string();
    UfoDir = sandbox.packageFolder.string();
    InstallErrors = false;
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    try {
        form.Activate();
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 0);
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Installation Successful.  The Orvald's Kelmora is now ready to run.");
    EXPECT_EQ(messages.shown[0].title, kAppTitle);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::kNone);
    EXPECT_EQ(Control<QLabel>("Label1")->text().toStdString(),
              "Compressing " + TADir + "/rev31.gp3...");
    EXPECT_EQ(testing::ArchiveEntryContent(sandbox.GameArchive(), "scripts\\a.cob"), "package");
}

TEST_F(Form2Test, ActivationReportsAGameFileThatCannotBeReadAsARunTimeError) {
    testing::TempDir empty;
    TADir = empty.path().string();
    UfoDir = empty.path().string();
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    try {
        form.Activate();
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 1);
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Run-time error '53':\r\rFile not found");
}

}  // namespace
}  // namespace kelmora
