// SPDX-License-Identifier: GPL-3.0-or-later
// Link into a test binary whose tests need widgets: the program's own application object (font,
// message box, run-time error report) exists while the tests run.
#include <gtest/gtest.h>

#include <memory>

#include "ui/Application.h"

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<kelmora::Application>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "kelmora-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<kelmora::Application> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
