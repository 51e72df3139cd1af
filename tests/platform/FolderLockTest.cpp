// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>

#include "FakeMachineTest.h"
#include "platform/FolderLock.h"
#include "support/Portable.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kChildFolder = "KELMORA_TEST_LOCK_FOLDER";

// What a process started now finds: true when it could take the lock.
bool AnotherProcessTakes(const std::string& folder) {
    testing::Invocation child;
    child.program = testing::SelfProgram();
    child.arguments = {"--gtest_filter=FolderLockTest.TakenInAChildProcess"};
    child.environment = {{kChildFolder, folder}};
    return testing::Run(child).status == 0;
}

// The other process of AnotherProcessTakes; skipped when run on its own.
TEST(FolderLockTest, TakenInAChildProcess) {
    const char* folder = std::getenv(kChildFolder);
    if (!folder) GTEST_SKIP() << "the other process of OneHolderPerFolderUntilItLetsGo";
    EXPECT_TRUE(FolderLock::TryTake(folder));
}

// One run at a time per folder, whatever spelling names it, in this process or another; the lock
// leaves nothing on disk. (That it goes with a process killed holding it, the crash test shows.)
TEST(FolderLockTest, OneHolderPerFolderUntilItLetsGo) {
    testing::TempDir root;
    fs::create_directories(root / "Cavedog" / "TotalA");
    fs::create_directories(root / "Cavedog" / "Other");
    const std::string game = testing::HostText(root / "Cavedog" / "TotalA");

    std::optional<FolderLock> held = FolderLock::TryTake(game);
    ASSERT_TRUE(held);
    EXPECT_FALSE(FolderLock::TryTake(game));
    EXPECT_FALSE(FolderLock::TryTake(testing::HostText(root / "CAVEDOG" / "totala")));
    EXPECT_FALSE(AnotherProcessTakes(game));
    EXPECT_TRUE(FolderLock::TryTake(testing::HostText(root / "Cavedog" / "Other")));
    EXPECT_TRUE(fs::is_empty(root / "Cavedog" / "TotalA"));
    held.reset();
    EXPECT_TRUE(AnotherProcessTakes(game));

    EXPECT_EQ(testing::ErrorNumberOf([&] { FolderLock::TryTake(testing::HostText(root / "gone")); }),
              kPathNotFound);
}

}  // namespace
}  // namespace kelmora
