#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FakeWinePrefix.h"
#include "platform/FolderLock.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;

// What a process started now finds: true when it could take the lock.
bool AnotherProcessTakes(const std::string& folder) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(FolderLock::TryTake(folder) ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One run at a time per folder, whatever spelling names it, in this process or another; the lock
// leaves nothing on disk. (That it goes with a process killed holding it, the crash test shows.)
TEST(FolderLockTest, OneHolderPerFolderUntilItLetsGo) {
    testing::TempDir root;
    fs::create_directories(root / "Cavedog/TotalA");
    fs::create_directories(root / "Cavedog/Other");
    const std::string game = (root / "Cavedog/TotalA").string();

    std::optional<FolderLock> held = FolderLock::TryTake(game);
    ASSERT_TRUE(held);
    EXPECT_FALSE(FolderLock::TryTake(game));
    EXPECT_FALSE(FolderLock::TryTake((root / "CAVEDOG/totala").string()));
    EXPECT_FALSE(AnotherProcessTakes(game));
    EXPECT_TRUE(FolderLock::TryTake((root / "Cavedog/Other").string()));
    EXPECT_TRUE(fs::is_empty(root / "Cavedog/TotalA"));
    held.reset();
    EXPECT_TRUE(AnotherProcessTakes(game));

    EXPECT_EQ(testing::ErrorNumberOf([&] { FolderLock::TryTake((root / "gone").string()); }),
              kPathNotFound);
}

}  // namespace
}  // namespace kelmora
