// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/Console.h"

namespace kelmora {
namespace {

// The status a body ends the program with, and what it printed on standard error.
std::pair<int, std::string> Outcome(const std::function<int()>& body) {
    ::testing::internal::CaptureStderr();
    const int status = RunReportingFailures("kelmora-test", body);
    return {status, ::testing::internal::GetCapturedStderr()};
}

TEST(RunReportingFailuresTest, EveryExceptionIsPrintedAndEndsWithStatusOne) {
    EXPECT_EQ(Outcome([] { return 2; }), std::make_pair(2, std::string()));
    EXPECT_EQ(Outcome([]() -> int { throw std::runtime_error("D\xC3\xA9j\xC3\xA0 vu: gone"); }),
              std::make_pair(1, std::string("kelmora-test: D\xC3\xA9j\xC3\xA0 vu: gone\n")));
    EXPECT_EQ(Outcome([]() -> int { throw 3; }),
              std::make_pair(1, std::string("kelmora-test: an error of an unknown kind\n")));
}

}  // namespace
}  // namespace kelmora
