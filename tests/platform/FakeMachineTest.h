#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/RuntimeError.h"
#include "support/TempDir.h"

namespace kelmora::testing {

// A Wine-style prefix in a temporary folder, set as WINEPREFIX: dosdevices/c: is a relative
// link to drive_c, as wineboot makes it.
class FakeWinePrefix : public ::testing::Test {
protected:
    FakeWinePrefix() {
        std::filesystem::create_directories(Prefix() / "dosdevices");
        std::filesystem::create_directories(Prefix() / "drive_c");
        std::filesystem::create_directory_symlink("../drive_c", DriveC());
    }

    std::filesystem::path Prefix() const { return root_ / "prefix"; }
    std::filesystem::path DriveC() const { return Prefix() / "dosdevices/c:"; }

    TempDir root_;
    ScopedEnv prefixVariable_{"WINEPREFIX", Prefix().string()};
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
