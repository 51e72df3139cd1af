// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>

#include "FakeMachineTest.h"
#include "platform/Folders.h"
#include "platform/RuntimeError.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::ErrorNumberOf;

class FoldersTest : public testing::FakeMachineTest {
protected:
    FoldersTest() { fs::create_directories(DriveC() / "Cavedog/TotalA"); }
};

TEST_F(FoldersTest, CreateFolderCreatesOneLevelAndRaises75WhenTheFolderExists) {
    CreateFolder(C("\\cavedog\\totala\\Orv_Rev31"));
    EXPECT_TRUE(fs::is_directory(DriveC() / "Cavedog/TotalA/Orv_Rev31"));
    EXPECT_EQ(ErrorNumberOf([&] { CreateFolder(C("\\cavedog\\totala\\orv_rev31")); }),
              kPathFileAccessError);
    EXPECT_EQ(ErrorNumberOf([&] { CreateFolder(C("\\cavedog\\totala\\units\\weapons")); }),
              kPathNotFound);
    EXPECT_FALSE(fs::exists(DriveC() / "Cavedog/TotalA/units"));
    EXPECT_EQ(ErrorNumberOf([] { CreateFolder("q:\\units"); }), kPathNotFound);
}

TEST_F(FoldersTest, SetFolderAttributesChecksItsArgumentsEvenWhereHidingIsNoOp) {
    EXPECT_EQ(ErrorNumberOf([&] { SetFolderAttributes(C("\\cavedog\\totala"), kHiddenAttribute); }),
              0);
    EXPECT_TRUE(fs::is_directory(DriveC() / "Cavedog/TotalA"));
    EXPECT_EQ(
        ErrorNumberOf([&] { SetFolderAttributes(C("\\cavedog\\orv_rev31"), kHiddenAttribute); }),
        kPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { SetFolderAttributes(C("\\cavedog\\totala"), 16); }),
              kInvalidArgument);
}

TEST_F(FoldersTest, RenamePathMovesAFolderWithItsContentAndNeverReplaces) {
    const fs::path game = DriveC() / "Cavedog/TotalA";
    fs::create_directories(game / "Orv_Rev31/Orv_Backup");
    std::ofstream(game / "Orv_Rev31/Orv_Backup/rev31.gp3") << "original";
    RenamePath(C("\\cavedog\\totala\\orv_rev31\\orv_backup"), C("\\cavedog\\totala\\Orv_Backup"));
    EXPECT_TRUE(fs::is_regular_file(game / "Orv_Backup/rev31.gp3"));
    EXPECT_FALSE(fs::exists(game / "Orv_Rev31/Orv_Backup"));

    fs::create_directories(game / "Other");
    EXPECT_EQ(ErrorNumberOf([&] {
                  RenamePath(C("\\cavedog\\totala\\other"), C("\\cavedog\\totala\\orv_backup"));
              }),
              kFileAlreadyExists);
    EXPECT_TRUE(fs::exists(game / "Other"));
    EXPECT_EQ(
        ErrorNumberOf([&] { RenamePath(C("\\cavedog\\totala\\gone"), C("\\cavedog\\totala\\x")); }),
        kFileNotFound);
}

}  // namespace
}  // namespace kelmora
