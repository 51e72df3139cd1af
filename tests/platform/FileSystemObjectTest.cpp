// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "FakeMachineTest.h"
#include "platform/DurableFiles.h"
#include "platform/FaultInjection.h"
#include "platform/FileSystemObject.h"
#include "platform/Folders.h"
#include "platform/RuntimeError.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::ErrorNumberOf;
using testing::ReadFile;
using testing::WriteFile;

void MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

std::vector<std::string> EntriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The game folder as the game's setup leaves it, reached through lower-cased texts.
class FileSystemObjectTest : public testing::FakeMachineTest {
protected:
    FileSystemObjectTest() {
        WriteFile(Game() / "TOTALA1.HPI", "hello");
        WriteFile(Game() / "Rev31.GP3", "original");
        fs::create_directory(Game() / "Orv_Backup");
    }
    fs::path Game() const { return DriveC() / "Cavedog/TotalA"; }

    FileSystemObject fso_;
};

TEST_F(FileSystemObjectTest, ExistenceTestsMatchAnyCaseAndNeverRaise) {
    EXPECT_TRUE(fso_.FolderExists(C("\\cavedog\\totala\\orv_backup")));
    EXPECT_TRUE(fso_.FileExists(C("\\cavedog\\totala\\totala1.hpi")));
    EXPECT_TRUE(fso_.FolderExists(C("\\")));
    EXPECT_FALSE(fso_.FileExists(C("\\cavedog\\totala\\orv_backup")));
    EXPECT_FALSE(fso_.FolderExists(C("\\cavedog\\totala\\totala1.hpi")));
    EXPECT_FALSE(fso_.FileExists(C("\\cavedog\\totala\\orv_backup\\rev31.mod")));
    EXPECT_FALSE(fso_.FileExists(C("\\nowhere\\totala1.hpi")));
    EXPECT_FALSE(fso_.FolderExists("q:\\cavedog"));
    EXPECT_FALSE(fso_.FileExists(""));
    EXPECT_FALSE(fso_.FolderExists(C(std::string("\\cave\0dog", 8))));
}

TEST_F(FileSystemObjectTest, GetFileGivesTheSizeOrTellsWhatIsMissing) {
    EXPECT_EQ(fso_.GetFile(C("\\cavedog\\totala\\totala1.hpi")).Size(), 5u);
    EXPECT_EQ(ErrorNumberOf([&] { fso_.GetFile(C("\\cavedog\\totala\\ccdata.ccx")); }),
              kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { fso_.GetFile(C("\\cavedog\\totala\\orv_backup")); }),
              kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { fso_.GetFile(C("\\nowhere\\ccdata.ccx")); }), kPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { fso_.GetFile("q:\\ccdata.ccx"); }), kPathNotFound);
}

// For the player to find it: a source that is missing, else what was to be written or removed.
TEST_F(FileSystemObjectTest, AFailureNamesThePathItConcerns) {
    const std::string game = C("\\cavedog\\totala");
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[&] { fso_.copyfile(game + "\\rev31.gp3", C("\\new\\")); }, C("\\new\\rev31.gp3")},
        {[&] { fso_.MoveOver(game + "\\rev31.gp3", game + "\\orv_backup"); },
         game + "\\orv_backup"},
        {[&] { fso_.deletefolder(game + "\\orv_rev31"); }, game + "\\orv_rev31"},
        {[&] { CreateFolder(game + "\\orv_backup"); }, game + "\\orv_backup"},
        {[&] { RenamePath(game + "\\gone", game + "\\x"); }, game + "\\gone"},
        {[&] { RenamePath(game + "\\rev31.gp3", game + "\\orv_backup"); }, game + "\\orv_backup"},
    };
    for (const auto& [fail, path] : failures) {
        try {
            fail();
            ADD_FAILURE() << "no error for " << path;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.path(), path);
        }
    }
}

TEST_F(FileSystemObjectTest, CopyIntoAFolderKeepsTheFileNameOnDisk) {
    fso_.copyfile(C("\\cavedog\\totala\\rev31.gp3"), C("\\cavedog\\totala\\orv_backup\\"));
    EXPECT_EQ(ReadFile(Game() / "Orv_Backup/Rev31.GP3"), "original");
    EXPECT_EQ(ReadFile(Game() / "Rev31.GP3"), "original");
    EXPECT_EQ(ErrorNumberOf(
                  [&] { fso_.copyfile(C("\\cavedog\\totala\\rev31.gp3"), C("\\cavedog\\new\\")); }),
              kPathNotFound);
}

TEST_F(FileSystemObjectTest, CopyReplacesWholeOrRefusesAndLeavesNoTemporaryFile) {
    WriteFile(Game() / "Orv_Backup/rev31.gp3", "old backup");
    fso_.copyfile(C("\\cavedog\\totala\\rev31.gp3"), C("\\cavedog\\totala\\orv_backup\\REV31.GP3"));
    EXPECT_EQ(ReadFile(Game() / "Orv_Backup/rev31.gp3"), "original");
    EXPECT_EQ(EntriesOf(Game() / "Orv_Backup"), std::vector<std::string>{"rev31.gp3"});

    WriteFile(Game() / "Orv_Backup/rev31.gp3", "old backup");
    EXPECT_EQ(ErrorNumberOf([&] {
                  fso_.copyfile(C("\\cavedog\\totala\\rev31.gp3"),
                                C("\\cavedog\\totala\\orv_backup\\rev31.gp3"), false);
              }),
              kFileAlreadyExists);
    MakeReadOnly(Game() / "Orv_Backup/rev31.gp3");
    EXPECT_EQ(ErrorNumberOf([&] {
                  fso_.copyfile(C("\\cavedog\\totala\\rev31.gp3"),
                                C("\\cavedog\\totala\\orv_backup\\"));
              }),
              kPermissionDenied);
    EXPECT_EQ(ErrorNumberOf([&] {
                  fso_.copyfile(C("\\cavedog\\totala\\rev31.gp3"),
                                C("\\cavedog\\totala\\orv_backup"));
              }),
              kPermissionDenied);
    EXPECT_EQ(ErrorNumberOf([&] { fso_.copyfile(C("\\cavedog\\totala\\gone.gp3"), C("\\x.gp3")); }),
              kFileNotFound);
    EXPECT_EQ(ReadFile(Game() / "Orv_Backup/rev31.gp3"), "old backup");
    EXPECT_EQ(EntriesOf(Game() / "Orv_Backup"), std::vector<std::string>{"rev31.gp3"});
}

TEST_F(FileSystemObjectTest, FailedCopyLeavesTheTargetAndNoTemporaryFile) {
    if (!testing::FolderPermissionsBind()) GTEST_SKIP() << "folder permissions do not bind here";
    WriteFile(Game() / "Orv_Backup/rev31.gp3", "old backup");
    fs::permissions(Game() / "Orv_Backup", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(ErrorNumberOf([&] {
                  fso_.copyfile(C("\\cavedog\\totala\\rev31.gp3"),
                                C("\\cavedog\\totala\\orv_backup\\"));
              }),
              kPermissionDenied);
    fs::permissions(Game() / "Orv_Backup", fs::perms::owner_all);
    EXPECT_EQ(ReadFile(Game() / "Orv_Backup/rev31.gp3"), "old backup");
    EXPECT_EQ(EntriesOf(Game() / "Orv_Backup"), std::vector<std::string>{"rev31.gp3"});
}

TEST_F(FileSystemObjectTest, MoveAcrossDevicesCopiesAndRemovesTheSource) {
#ifdef _WIN32
    GTEST_SKIP() << "no second device that every Windows machine has";
#else
    struct stat shm {};
    struct stat here {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(Game().c_str(), &here) != 0 ||
        shm.st_dev == here.st_dev) {
        GTEST_SKIP() << "no second device at /dev/shm";
    }
    const fs::path source = fs::path("/dev/shm") / ("kelmora-move-" + std::to_string(::getpid()));
    WriteFile(source, "moved");
    fso_.movefile(source.string(), C("\\cavedog\\totala\\orv_backup\\rev31.mod"));
    EXPECT_EQ(ReadFile(Game() / "Orv_Backup/rev31.mod"), "moved");
    EXPECT_FALSE(fs::exists(source));
#endif
}

TEST_F(FileSystemObjectTest, MoveRenamesOnlyOntoAFreeName) {
    fso_.movefile(C("\\cavedog\\totala\\rev31.gp3"), C("\\cavedog\\totala\\orv_backup\\rev31.mod"));
    EXPECT_EQ(ReadFile(Game() / "Orv_Backup/rev31.mod"), "original");
    EXPECT_FALSE(fs::exists(Game() / "Rev31.GP3"));

    EXPECT_EQ(ErrorNumberOf([&] {
                  fso_.movefile(C("\\cavedog\\totala\\totala1.hpi"),
                                C("\\cavedog\\totala\\orv_backup\\REV31.MOD"));
              }),
              kFileAlreadyExists);
    EXPECT_EQ(ReadFile(Game() / "TOTALA1.HPI"), "hello");
    EXPECT_EQ(ReadFile(Game() / "Orv_Backup/rev31.mod"), "original");
    EXPECT_EQ(ErrorNumberOf([&] {
                  fso_.movefile(C("\\cavedog\\totala\\rev31.gp3"), C("\\cavedog\\totala\\x.gp3"));
              }),
              kFileNotFound);
}

TEST_F(FileSystemObjectTest, DeleteFileNeedsForceForReadOnlyFiles) {
    MakeReadOnly(Game() / "TOTALA1.HPI");
    EXPECT_EQ(ErrorNumberOf([&] { fso_.deletefile(C("\\cavedog\\totala\\totala1.hpi")); }),
              kPermissionDenied);
    EXPECT_TRUE(fs::exists(Game() / "TOTALA1.HPI"));
    fso_.deletefile(C("\\cavedog\\totala\\totala1.hpi"), true);
    EXPECT_FALSE(fs::exists(Game() / "TOTALA1.HPI"));
    EXPECT_EQ(ErrorNumberOf([&] { fso_.deletefile(C("\\cavedog\\totala\\totala1.hpi"), true); }),
              kFileNotFound);
}

TEST_F(FileSystemObjectTest, DeleteFolderTakesReadOnlyContentOnlyWithForce) {
    WriteFile(Game() / "Orv_Rev31/units/ARMCOM.FBI", "unit");
    MakeReadOnly(Game() / "Orv_Rev31/units/ARMCOM.FBI");
    MakeReadOnly(Game() / "Orv_Rev31/units");
    EXPECT_EQ(ErrorNumberOf([&] { fso_.deletefolder(C("\\cavedog\\totala\\orv_rev31")); }),
              kPermissionDenied);
    EXPECT_TRUE(fs::exists(Game() / "Orv_Rev31/units/ARMCOM.FBI"));

    fso_.deletefolder(C("\\cavedog\\totala\\orv_rev31"), true);
    EXPECT_FALSE(fs::exists(Game() / "Orv_Rev31"));
    EXPECT_EQ(ErrorNumberOf([&] { fso_.deletefolder(C("\\cavedog\\totala\\orv_rev31"), true); }),
              kPathNotFound);
}

TEST_F(FileSystemObjectTest, DeleteFolderStaysInsideTheFolder) {
#ifdef _WIN32
    // Drive C is the real one there, and MinGW's standard library makes no links.
    GTEST_SKIP() << "needs a drive C of the test's own and links";
#endif
    WriteFile(DriveC() / "Elsewhere/keep.txt", "keep");
    fs::create_directory_symlink(DriveC() / "Elsewhere", Game() / "Orv_Backup/link");
    fso_.deletefolder(C("\\cavedog\\totala\\orv_backup"), true);
    EXPECT_FALSE(fs::exists(Game() / "Orv_Backup"));
    EXPECT_EQ(ReadFile(DriveC() / "Elsewhere/keep.txt"), "keep");

    EXPECT_EQ(ErrorNumberOf([&] { fso_.deletefolder(C("\\"), true); }), kPermissionDenied);
    EXPECT_TRUE(fs::exists(Game() / "TOTALA1.HPI"));
}

// The operations a copy makes, in order: what keeps a copy from counting as done before it is
// whole and on the disk. Failing each in turn with a full disk raises 61 and leaves the target as
// it was and no temporary file; only the folder's flush comes after the rename.
TEST_F(FileSystemObjectTest, ACopyIsCheckedFlushedAndRenamedIntoPlaceInThatOrder) {
    WriteFile(Game() / "Orv_Backup/rev31.gp3", "old backup");
    const fs::path big = Game() / "big.gp3";
    WriteFile(big, std::string(3 * 1024 * 1024 + 5, 'x'));
    auto copy = [&] {
        fso_.copyfile(C("\\cavedog\\totala\\big.gp3"), C("\\cavedog\\totala\\orv_backup\\rev31.gp3"));
    };

    std::vector<faults::Operation> seen;
    faults::Record([&](const faults::Operation& operation) { seen.push_back(operation); });
    copy();
    faults::Disarm();
    std::string kinds;
    for (const faults::Operation& operation : seen)
        kinds += std::string(faults::NameOf(operation.op)) + ",";
    // Four chunks read and written, and the read that finds the end.
    EXPECT_EQ(kinds,
              "create,read from,write,read from,write,read from,write,read from,write,read "
              "from,flush,close,rename,flush folder,");
    ASSERT_EQ(seen.size(), 14u);
    EXPECT_TRUE(IsTemporaryName(seen[0].path.filename().string()));
    // Equivalent, not equal: on Windows the paths keep the letter case the program was given.
    EXPECT_TRUE(fs::equivalent(seen[0].path.parent_path(), Game() / "Orv_Backup"));
    EXPECT_EQ(seen[12].from, seen[0].path);
    EXPECT_TRUE(fs::equivalent(seen[12].path, Game() / "Orv_Backup/rev31.gp3"));
    EXPECT_TRUE(fs::equivalent(seen[13].path, Game() / "Orv_Backup"));
    EXPECT_EQ(fs::file_size(Game() / "Orv_Backup/rev31.gp3"), fs::file_size(big));

    for (std::uint64_t at = 1; at < seen.size(); ++at) {
        WriteFile(Game() / "Orv_Backup/rev31.gp3", "old backup");
        faults::FailAt(at, kDiskFull);
        const int error = ErrorNumberOf(copy);
        faults::Disarm();
        EXPECT_EQ(error, kDiskFull) << "operation " << at;
        EXPECT_EQ(ReadFile(Game() / "Orv_Backup/rev31.gp3"), "old backup") << "operation " << at;
        EXPECT_EQ(EntriesOf(Game() / "Orv_Backup"), std::vector<std::string>{"rev31.gp3"});
    }
}

// What a stopped run left is removed as it is: a link (even one that leads nowhere) as a link,
// a folder of ours with what it holds; names that only look like ours stay.
TEST_F(FileSystemObjectTest, LeftoversGoAsTheyAreAndOnlyOurs) {
#ifdef _WIN32
    GTEST_SKIP() << "MinGW's standard library makes no links";
#endif
    WriteFile(DriveC() / "Elsewhere/keep.txt", "keep");
    fs::create_directory_symlink(DriveC() / "Elsewhere", Game() / "Orv_Rev31");
    fso_.RemoveIfPresent(C("\\cavedog\\totala\\orv_rev31"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Game() / "Orv_Rev31")));
    EXPECT_EQ(ReadFile(DriveC() / "Elsewhere/keep.txt"), "keep");
    fs::create_directory_symlink(DriveC() / "Nowhere", Game() / "Orv_Rev31");
    fso_.RemoveIfPresent(C("\\cavedog\\totala\\orv_rev31"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Game() / "Orv_Rev31")));
    fso_.RemoveIfPresent(C("\\cavedog\\totala\\orv_rev31"));

    const std::string ours = TemporaryName("rev31.gp3");
    const std::string ourFolder = TemporaryName("Orv_Backup");
    ASSERT_TRUE(IsTemporaryName(ours));
    WriteFile(Game() / ours, "part of a copy");
    WriteFile(Game() / ourFolder / "rev31.gp3", "original");
    MakeReadOnly(Game() / ourFolder / "rev31.gp3");
    fs::create_symlink(DriveC() / "Elsewhere/keep.txt", Game() / TemporaryName("link"));
    const std::vector<std::string> players = {
        ".rev31.gp3.kelmora-ABCD1234.tmp", "rev31.gp3.kelmora-abcd1234.tmp",
        ".rev31.gp3.kelmora-abcd123.tmp", ".kelmora-abcd1234.tmp"};
    for (const std::string& name : players) WriteFile(Game() / name, "the player's");
    fso_.RemoveTemporaries(C("\\cavedog\\totala"));
    std::vector<std::string> left = players;
    left.insert(left.end(), {"Orv_Backup", "Rev31.GP3", "TOTALA1.HPI"});
    std::sort(left.begin(), left.end());
    EXPECT_EQ(EntriesOf(Game()), left);
    EXPECT_EQ(ReadFile(DriveC() / "Elsewhere/keep.txt"), "keep");
}

}  // namespace
}  // namespace kelmora
