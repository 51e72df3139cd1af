// SPDX-License-Identifier: GPL-3.0-or-later
// Small real file systems, mounted by the test: an ext4 image on a loop device and a tmpfs, their
// free space set by a filler file at many levels, for the install and each control-panel action.
// A full disk here is the system's own, at whatever byte it strikes. And a FAT disk through FUSE
// (fusefat), which reports a folder renamed while it loses what the folder held. Mounting needs
// root (CI runs as root); where it is refused the test says so and skips.
//
// KELMORA_FREE_SPACE_LEVELS=N tries N levels per action and file system (default 16);
// KELMORA_SEED moves them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "InstallRun.h"
#include "Invariant.h"
#include "PanelRun.h"
#include "Scenario.h"

namespace kelmora::reliability {
namespace {

constexpr std::uint64_t kMegabyte = 1 << 20;
constexpr std::uint64_t kLevelsUpTo = 8 * kMegabyte;

int Setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

// A fresh file system of its own, mounted on a folder of the test's for the object's life.
class MountedFileSystem {
public:
    MountedFileSystem(const std::string& kind, std::uint64_t megabytes)
        : mountPoint_(holder_ / "mnt") {
        fs::create_directories(mountPoint_);
        if (::geteuid() != 0) {
            why_ = "mounting needs root";
            return;
        }
        if (kind == "tmpfs") {
            const std::string options = "size=" + std::to_string(megabytes) + "m";
            if (::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, options.c_str()) != 0)
                why_ = std::string("mount -t tmpfs: ") + std::strerror(errno);
        } else if (kind == "fusefat") {
            MountImage(megabytes, "mkfs.vfat -F 32", "fusefat -o rw+",
                       "mkfs.vfat failed or is missing (Debian: dosfstools)",
                       "fusefat failed, is missing (Debian: fusefat) or FUSE is refused");
        } else {
            MountImage(megabytes, "mkfs.ext4 -q -F -m 0 -b 4096", "mount -o loop",
                       "mkfs.ext4 failed or is missing", "mount -o loop was refused");
        }
        mounted_ = why_.empty();
    }
    ~MountedFileSystem() {
        if (mounted_ && ::umount2(mountPoint_.c_str(), 0) != 0)
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    MountedFileSystem(const MountedFileSystem&) = delete;
    MountedFileSystem& operator=(const MountedFileSystem&) = delete;

    // Why it could not be mounted, or nothing.
    const std::string& why() const { return why_; }
    const fs::path& path() const { return mountPoint_; }

    std::uint64_t Free() const {
        struct statvfs status {};
        ::statvfs(mountPoint_.c_str(), &status);
        return std::uint64_t{status.f_bavail} * status.f_frsize;
    }

    // Fills the file system with a file of its own until about `bytes` stay free; the bytes free.
    std::uint64_t LeaveFree(std::uint64_t bytes) {
        const std::uint64_t free = Free();
        if (free > bytes) {
            const int fd = ::open((mountPoint_ / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
            const auto size = static_cast<off_t>((free - bytes) / 4096 * 4096);
            if (::fallocate(fd, 0, 0, size) != 0) WriteZeros(fd, size);
            ::fsync(fd);
            ::close(fd);
        }
        return Free();
    }
    void RemoveFiller() { fs::remove(mountPoint_ / "filler"); }

private:
    // An image file of `megabytes` made by `format` and mounted by `mountCommand`; says why not.
    void MountImage(std::uint64_t megabytes, const std::string& format,
                    const std::string& mountCommand, const char* whyFormat, const char* whyMount) {
        const fs::path image = holder_ / "image";
        fs::resize_file(Create(image), megabytes * kMegabyte);
        const std::string quotedImage = " '" + image.string() + "'";
        if (Shell(format + quotedImage) != 0) {
            why_ = whyFormat;
        } else if (Shell(mountCommand + quotedImage + " '" + mountPoint_.string() + "'") != 0) {
            why_ = whyMount;
        }
    }

    static fs::path Create(const fs::path& file) {
        testing::WriteFile(file, "");
        return file;
    }
    static int Shell(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str());
    }
    // For a file system without fallocate: zeros until the size or a full disk.
    static void WriteZeros(int fd, off_t size) {
        const std::string zeros(kMegabyte, '\0');
        for (off_t written = 0; written < size;) {
            const ssize_t done = ::write(
                fd, zeros.data(), static_cast<size_t>(std::min<off_t>(size - written, kMegabyte)));
            if (done <= 0) return;
            written += done;
        }
    }

    testing::TempDir holder_;
    fs::path mountPoint_;
    std::string why_;
    bool mounted_ = false;
};

// The levels of free space tried: spread over 0 to 8 MB, each moved within its step.
std::vector<std::uint64_t> Levels() {
    const int count = std::max(1, Setting("KELMORA_FREE_SPACE_LEVELS", 16));
    static std::mt19937 random(static_cast<unsigned>(Setting("KELMORA_SEED", 12)));
    std::vector<std::uint64_t> levels;
    const std::uint64_t step = kLevelsUpTo / static_cast<std::uint64_t>(count);
    for (int i = 0; i < count; ++i) {
        levels.push_back(static_cast<std::uint64_t>(i) * step +
                         std::uniform_int_distribution<std::uint64_t>(0, step - 1)(random));
    }
    return levels;
}

// Everything on the file system but the filler and the sandbox folder.
Tree Others(const fs::path& mountPoint, const fs::path& sandbox) {
    Tree others;
    for (const auto& entry : fs::directory_iterator(mountPoint)) {
        const std::string name = entry.path().filename().string();
        if (entry.path() != sandbox && name != "filler" && name != "lost+found") others[name] = "";
    }
    return others;
}

struct Tally {
    int runs = 0;
    int succeeded = 0;
    int diskFull = 0;    // failures that said "Disk full" (61) or "No space left"
    int extraction = 0;  // installs stopped by a failed extraction, which names the entry
    int otherFailures = 0;
    std::uint64_t lowest = UINT64_MAX;
    std::uint64_t highest = 0;

    void Level(std::uint64_t free) {
        lowest = std::min(lowest, free);
        highest = std::max(highest, free);
    }
    std::string Summary() const {
        return std::to_string(runs) + " runs at " + std::to_string(lowest / 1024) + " to " +
               std::to_string(highest / 1024) + " KiB free: " + std::to_string(succeeded) +
               " succeeded, " + std::to_string(diskFull) + " failed with 'Disk full', " +
               std::to_string(extraction) + " with a failed extraction, " +
               std::to_string(otherFailures) + " otherwise";
    }
};

class RealDiskTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RealDiskTest, AnInstallOnANearlyFullDiskInstallsOrLeavesTheGameAsItWas) {
    MountedFileSystem disk(GetParam(), 40);
    if (!disk.why().empty()) GTEST_SKIP() << GetParam() << " not mounted: " << disk.why();
    Tally tally;
    for (std::uint64_t level : Levels()) {
        testing::GameSandbox sandbox(GameEntries(), PackageEntries(), disk.path());
        InstallInvariant invariant(sandbox);
        invariant.ExpectOnSuccess(InstalledFiles());
        const std::uint64_t free = disk.LeaveFree(level);
        const InstallResult result = RunInstall(sandbox);
        disk.RemoveFiller();
        SCOPED_TRACE(std::to_string(free) + " bytes free");
        ++tally.runs;
        tally.Level(free);
        EXPECT_EQ(invariant.Check(false, result.success), "");
        EXPECT_EQ(Others(disk.path(), sandbox.root.path()), Tree{});
        if (result.success) {
            ++tally.succeeded;
        } else {
            bool full = false, extraction = false;
            for (const Message& message : result.shown) {
                full = full || message.text.find("Disk full") != std::string::npos ||
                       message.text.find("No space left") != std::string::npos;
                extraction = extraction || message.text.starts_with("Error extracting");
            }
            (full ? tally.diskFull : extraction ? tally.extraction : tally.otherFailures)++;
        }
    }
    // The levels reach from a disk too full for the backup to one with room for it all.
    if (tally.runs >= 4) {
        EXPECT_GT(tally.succeeded, 0);
        EXPECT_GT(tally.diskFull, 0);
        EXPECT_EQ(tally.otherFailures, 0);
    }
    std::printf("real disk, %s, install: %s\n", GetParam(), tally.Summary().c_str());
}

TEST_P(RealDiskTest, APanelActionOnANearlyFullDiskEndsInAStateOfThePatch) {
    MountedFileSystem disk(GetParam(), 40);
    if (!disk.why().empty()) GTEST_SKIP() << GetParam() << " not mounted: " << disk.why();
    const PanelArchives archives{
        testing::LabelledArchive("original archive ", 3 * kMegabyte),
        testing::LabelledArchive("patched archive, longer ", 3 * kMegabyte + 300000)};
    struct Case {
        const char* name;
        PanelAction action;
        bool disabled;
        const std::string& target;
    };
    const Case cases[] = {{"uninstall enabled", PanelAction::kUninstall, false, kRemoved},
                          {"uninstall disabled", PanelAction::kUninstall, true, kRemoved},
                          {"disable", PanelAction::kDisable, false, kDisabled},
                          {"enable", PanelAction::kEnable, true, kEnabled}};
    for (const Case& panelCase : cases) {
        const std::string start = panelCase.disabled ? kDisabled : kEnabled;
        Tally tally;
        for (std::uint64_t level : Levels()) {
            testing::TempDir root(disk.path());
            const fs::path game = root / "game";
            MakeGameFolder(game, panelCase.disabled, archives);
            const std::uint64_t free = disk.LeaveFree(level);
            const ActionResult result = RunAction(panelCase.action, game);
            disk.RemoveFiller();
            const std::string state = PanelState(game, archives);
            SCOPED_TRACE(std::string(panelCase.name) + " with " + std::to_string(free) +
                         " bytes free left " + state);
            ++tally.runs;
            tally.Level(free);
            if (result.success) {
                ++tally.succeeded;
                EXPECT_EQ(state, panelCase.target);
            } else {
                (result.error == kDiskFull ? tally.diskFull : tally.otherFailures)++;
                EXPECT_EQ(state, start);
                EXPECT_EQ(result.leftover, "");
            }
            // Nothing but the archives is left, and nothing was written outside the folder.
            for (const auto& entry : fs::recursive_directory_iterator(game)) {
                const std::string name = entry.path().filename().string();
                EXPECT_TRUE(name == "rev31.gp3" || name == "rev31.mod" || name == "Orv_Backup")
                    << entry.path();
            }
            EXPECT_EQ(Others(disk.path(), root.path()), Tree{});
        }
        if (tally.runs >= 4 && panelCase.action != PanelAction::kEnable) {
            EXPECT_GT(tally.succeeded, 0) << panelCase.name;
            EXPECT_GT(tally.diskFull, 0) << panelCase.name;
            EXPECT_EQ(tally.otherFailures, 0) << panelCase.name;
        }
        std::printf("real disk, %s, %s: %s\n", GetParam(), panelCase.name, tally.Summary().c_str());
    }
}

// The install finds its backup folder emptied by the rename that made it, and undoes itself
// (removing its work folder, whose modes cannot change there); the panel's actions, which rename
// files and check what they restore, work.
TEST(LyingDiskTest, OnAFatDiskThroughFuseTheInstallStopsAndThePanelWorks) {
    MountedFileSystem disk("fusefat", 64);
    if (!disk.why().empty()) GTEST_SKIP() << "fusefat not mounted: " << disk.why();
    const fs::path game = disk.path() / "game";
    const fs::path package = disk.path() / "package";
    // Written elsewhere and copied: fusefat also loses what is written at a file's start after
    // its end, as the archive writer does.
    testing::TempDir staging;
    WriteArchive(staging / "rev31.gp3", GameEntries());
    WriteArchive(staging / "KELMORA.UFO", PackageEntries());
    testing::WriteFile(game / "rev31.gp3", ReadAll(staging / "rev31.gp3"));
    testing::WriteFile(package / "KELMORA.UFO", ReadAll(staging / "KELMORA.UFO"));
    const std::string original = ReadAll(game / "rev31.gp3");
    InstallerState state{game.string(), package.string()};
    testing::ScriptedMessageBox messages;
    testing::RecordingDisplay display;
    InstallPatchAfterVersionCheck(state, display, messages);
    EXPECT_TRUE(state.installFailed);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("the backup "), std::string::npos)
        << messages.shown[0].text;
    EXPECT_TRUE(ReadAll(game / "rev31.gp3") == original);
    EXPECT_EQ(TreeOf(game).size(), 1u) << Difference({}, TreeOf(game));
    EXPECT_TRUE(fs::exists(package / "KELMORA.UFO"));
    std::printf("lying disk, fusefat, install: %s\n", messages.shown[0].text.c_str());

    const PanelArchives archives{testing::LabelledArchive("original"),
                                 testing::LabelledArchive("patched")};
    for (const auto& [action, disabled, target] :
         {std::tuple{PanelAction::kUninstall, false, kRemoved},
          std::tuple{PanelAction::kDisable, false, kDisabled},
          std::tuple{PanelAction::kEnable, true, kEnabled}}) {
        fs::remove_all(game);
        MakeGameFolder(game, disabled, archives);
        EXPECT_TRUE(RunAction(action, game).success) << target;
        EXPECT_EQ(PanelState(game, archives), target);
    }
}

INSTANTIATE_TEST_SUITE_P(FileSystems, RealDiskTest, ::testing::Values("ext4", "tmpfs"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace kelmora::reliability
