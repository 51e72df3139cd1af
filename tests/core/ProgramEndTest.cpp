// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/ProgramEnd.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora {
namespace {

TEST(ProgramEndTest, UncaughtErrorIsReportedWithNumberAndDescriptionThenEndsWithStatusOne) {
    testing::ScriptedMessageBox box;
    testing::CatchProgramEnd catchEnd;
    try {
        ReportUncaughtError(RuntimeError(kFileNotFound));
        FAIL() << "the report must end the program";
    } catch (const ProgramEnded& end) {
        EXPECT_EQ(end.status, 1);
    }
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, "Run-time error '53':\r\rFile not found");
    EXPECT_EQ(box.shown[0].title, kAppTitle);
    EXPECT_EQ(box.shown[0].icon, MsgIcon::kCritical);
}

}  // namespace
}  // namespace kelmora
