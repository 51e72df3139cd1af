// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "ModalWindows.h"
#include "support/ScriptedMessageBox.h"
#include "ui/QtMessageBox.h"
#include "ui/WindowStyle.h"

namespace kelmora {
namespace {

using testing::WhenModalShows;

TEST(ApplicationTest, ARunTimeErrorEscapingAHandlerIsReportedAndEndsTheProgram) {
    testing::ScriptedMessageBox messages;
    testing::CatchProgramEnd catchEnd;
    QPushButton button("Go");
    QObject::connect(&button, &QPushButton::clicked, [] { throw RuntimeError(kPathNotFound); });
    button.show();

    try {
        QTest::mouseClick(&button, Qt::LeftButton);
        ADD_FAILURE() << "the program went on";
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 1);
    }

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Run-time error '76':\r\rPath not found");
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::kCritical);
}

TEST(ApplicationTest, TheProgramFontIsInstalled) {
    EXPECT_EQ(QFontInfo(ProgramFont()).family(), "Liberation Sans");
}

TEST(QtMessageBoxTest, ShowsPlainLinesAndAnswersYesOnEnter) {
    QtMessageBox box;
    WhenModalShows([](QWidget* window) {
        auto* shown = qobject_cast<QMessageBox*>(window);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->windowTitle(), "Title");
        EXPECT_EQ(shown->text(), "<b>first</b>\n\nsecond");
        EXPECT_EQ(shown->textFormat(), Qt::PlainText);
        EXPECT_EQ(shown->icon(), QMessageBox::Question);
        QTest::keyClick(shown, Qt::Key_Return);
    });

    EXPECT_EQ(box.Show({"<b>first</b>\r\rsecond", "Title", MsgButtons::kYesNo, MsgIcon::kQuestion}),
              MsgAnswer::kYes);
}

TEST(QtMessageBoxTest, EscAnswersNo) {
    QtMessageBox box;
    WhenModalShows([](QWidget* window) { QTest::keyClick(window, Qt::Key_Escape); });

    EXPECT_EQ(box.Show({"Sure?", kAppTitle, MsgButtons::kYesNo, MsgIcon::kQuestion}),
              MsgAnswer::kNo);
}

}  // namespace
}  // namespace kelmora
