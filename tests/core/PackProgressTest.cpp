// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PackProgress.h"
#include "support/RecordingDisplay.h"

namespace kelmora {
namespace {

class PackProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        lastPackPercent = 0;
        SetPackDisplay(&display);
    }
    void TearDown() override { SetPackDisplay(nullptr); }

    std::int32_t Call(std::int32_t done, std::int32_t total) {
        return PackProgress(1, 2, 3, 4, 5, 6, done, total);
    }

    testing::RecordingDisplay display;
};

TEST_F(PackProgressTest, ShowsTheWholePartNeverRoundedUpAndRepaintsOnlyOnChange) {
    Call(0, 12);
    Call(0, 12);
    for (std::int32_t done = 1; done <= 12; ++done) {
        EXPECT_EQ(Call(done, 12), 0);
        Call(done, 12);
    }
    std::vector<std::string> shown;
    for (const auto& frame : display.frames) shown.push_back(frame.percent);
    EXPECT_EQ(shown, (std::vector<std::string>{"8%", "16%", "25%", "33%", "41%", "50%", "58%",
                                               "66%", "75%", "83%", "91%", "100%"}));
    EXPECT_EQ(display.bar, 100);
    EXPECT_EQ(lastPackPercent, 100);
}

TEST_F(PackProgressTest, AZeroTotalLeavesTheDisplayAsItWasButRepaints) {
    Call(1, 2);
    EXPECT_EQ(Call(5, 0), 0);
    ASSERT_EQ(display.frames.size(), 2u);
    EXPECT_EQ(display.frames[1], display.frames[0]);
    EXPECT_EQ(display.frames[1].percent, "50%");
    EXPECT_EQ(lastPackPercent, 50);
}

TEST_F(PackProgressTest, APercentageAboveTheRangeIsShownButNotKept) {
    Call(1, 2);
    Call(3, 1);
    EXPECT_EQ(display.percent, "300%");
    EXPECT_EQ(display.bar, 100);
    EXPECT_EQ(lastPackPercent, 50);
    Call(3, 1);
    EXPECT_EQ(display.frames.size(), 3u);
}

}  // namespace
}  // namespace kelmora
