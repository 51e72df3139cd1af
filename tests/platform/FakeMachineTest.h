// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/RuntimeError.h"
#include "support/FakeMachine.h"
#include "support/TempDir.h"

namespace kelmora::testing {

// A test on a machine of its own: a drive C in a fresh folder and a registry (see FakeMachine).
class FakeMachineTest : public ::testing::Test {
protected:
    const std::filesystem::path& DriveC() const { return machine_.DriveC(); }
    // The program's text for a path on drive C ("\cavedog\totala").
    std::string C(const std::string& suffix) const { return machine_.C(suffix); }

    FakeMachine machine_;
};

// The run-time error number `operation` raises, or 0 when it raises none.
inline int ErrorNumberOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const RuntimeError& error) {
        return error.number();
    }
    return 0;
}

}  // namespace kelmora::testing
