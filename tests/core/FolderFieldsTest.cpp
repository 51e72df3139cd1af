// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "core/FileList.h"
#include "core/FolderFields.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"
#include "support/FakeMachine.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::FakeMachine;
using testing::HostText;
using testing::MakeFiles;
using testing::ScopedCurrentDir;
using testing::TempDir;

constexpr const char* kGamePattern = "rev31.gp3;ccdata.ccx;totala1.hpi";

TEST(FileListTest, CountsEachNamedPlainFileOnceWhateverItsLetterCase) {
    TempDir dir;
    MakeFiles(dir.path(), {"TOTALA1.HPI", "totala1.hpi", "CcData.Ccx", "other.hpi"});
    fs::create_directory(dir / "rev31.gp3");

    FileList list(kGamePattern);
    list.SetFolder(HostText(dir.path()) + testing::kHostSeparator);

    EXPECT_EQ(list.Folder(), HostText(dir.path()));
    EXPECT_EQ(list.Count(), 2);
}

TEST(FileListTest, ReadsDriveFoldersThroughTheWinePrefix) {
    FakeMachine machine;
    MakeFiles(machine.DriveC() / "Cavedog" / "TotalA", {"rev31.gp3", "CCDATA.CCX", "TotalA1.hpi"});

    FileList list(kGamePattern);
    list.SetFolder(machine.C("\\CAVEDOG\\totala\\"));

    EXPECT_EQ(list.Folder(), machine.C("\\CAVEDOG\\totala"));
    EXPECT_EQ(list.Count(), 3);
}

TEST(FileListTest, StartsOnTheCurrentFolderAndSignalsOnlyARealChangeOfFolder) {
    TempDir current;
    TempDir other;
    MakeFiles(current.path(), {"kelmora.ufo"});
    ScopedCurrentDir inCurrent(current.path());

    FileList list("kelmora.ufo");
    int changes = 0;
    list.OnFolderChanged([&] { ++changes; });
    EXPECT_EQ(list.Folder(), CurrentFolderText());
    EXPECT_EQ(list.Count(), 1);

    list.SetFolder(".");
    EXPECT_EQ(changes, 0);
    list.SetFolder(HostText(other.path()));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.Count(), 0);

    EXPECT_THROW(list.SetFolder(HostText(other / "missing")), RuntimeError);
    EXPECT_EQ(list.Folder(), HostText(other.path()));
    EXPECT_EQ(changes, 1);
}

TEST(FolderRuleTest, UsesTheTrimmedTextAndFallsBackToTheDriveRootSilently) {
    FakeMachine machine;
    TempDir dir;
    fs::create_directory(dir / "game");
    MakeFiles(dir / "game", {"notes.txt"});
    FileList list(kGamePattern);
    const std::string root = FullPathText("\\");

    PointListAtField(list, "  " + HostText(dir / "game") + "  ");
    EXPECT_EQ(list.Folder(), HostText(dir / "game"));

    for (const std::string& unusable :
         {std::string(), std::string("   "), HostText(dir / "missing"),
          HostText(dir / "game" / "notes.txt"), std::string("q:\\games"), std::string("a\0b", 3)}) {
        PointListAtField(list, HostText(dir / "game"));
        PointListAtField(list, unusable);
        EXPECT_EQ(list.Folder(), root) << "field text: " << unusable;
    }
}

TEST(FolderRuleTest, AFolderThatCannotBeReadSendsTheListToTheDriveRoot) {
    if (!testing::FolderPermissionsBind()) GTEST_SKIP() << "permissions do not stop this process";
    TempDir dir;
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::none);
    FileList list(kGamePattern);

    PointListAtField(list, HostText(dir / "locked"));

    EXPECT_EQ(list.Folder(), FullPathText("\\"));
}

class FolderFieldsTest : public ::testing::Test {
protected:
    FolderFieldsTest() : inEmpty_(empty_.path()) {
        fs::create_directories(dir_ / "game");
        fs::create_directories(dir_ / "package");
    }
    std::string Folder(const char* name) const { return HostText(dir_ / name); }

    TempDir dir_;
    TempDir empty_;
    ScopedCurrentDir inEmpty_;
};

TEST_F(FolderFieldsTest, AllGameFilesAndThePackageEnableOk) {
    MakeFiles(dir_ / "game", {"totala1.hpi", "ccdata.ccx", "rev31.gp3", "kelmora.ufo"});
    FolderFields fields;

    fields.PackageFolderTextChanged(Folder("game"));
    EXPECT_FALSE(fields.OkEnabled());
    fields.GameFolderTextChanged(Folder("game"));
    EXPECT_TRUE(fields.OkEnabled());

    fields.GameFolderTextChanged(Folder("package"));
    EXPECT_FALSE(fields.OkEnabled());
}

TEST_F(FolderFieldsTest, ANewPackageFolderAsksForOnlyOneGameFile) {
    MakeFiles(dir_ / "game", {"totala1.hpi", "ccdata.ccx", "kelmora.ufo"});
    MakeFiles(dir_ / "package", {"KELMORA.UFO"});
    FolderFields fields;
    fields.PackageFolderTextChanged(Folder("game"));

    fields.GameFolderTextChanged(Folder("game"));
    EXPECT_EQ(fields.GameFiles().Count(), 2);
    EXPECT_FALSE(fields.OkEnabled());

    fields.PackageFolderTextChanged(Folder("package"));
    EXPECT_TRUE(fields.OkEnabled());

    fields.CheckAllFiles();
    EXPECT_FALSE(fields.OkEnabled());
}

TEST_F(FolderFieldsTest, APackageFolderWithoutThePackageKeepsOkDisabled) {
    MakeFiles(dir_ / "game", {"totala1.hpi", "ccdata.ccx", "rev31.gp3"});
    FolderFields fields;

    fields.GameFolderTextChanged(Folder("game"));
    EXPECT_FALSE(fields.OkEnabled());
    fields.PackageFolderTextChanged(Folder("package"));
    EXPECT_FALSE(fields.OkEnabled());
}

}  // namespace
}  // namespace kelmora
