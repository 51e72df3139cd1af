// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hpi/HPIUtil.h"
#include "hpi/HpiReader.h"
#include "hpi/HpiTestArchive.h"
#include "platform/FaultInjection.h"
#include "platform/RuntimeError.h"
#include "support/FakeMachine.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {
namespace fs = std::filesystem;
using testing::BuildRawArchive;
using testing::RawDir;
using testing::RawFile;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Files in a folder, so a test can see that nothing (no temporary file either) was left.
std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Listed {
    std::string name;
    std::int32_t type;
    std::int32_t size;
};

// The install procedure's loop: buffer of 255 spaces, continue from the number returned.
std::vector<Listed> Enumerate(HpiHandle handle) {
    std::vector<Listed> entries;
    char buffer[kHpiNameBufferSize];
    std::int32_t type = -1, size = -1;
    std::memset(buffer, ' ', sizeof buffer);
    std::int32_t next = HPIGetFiles(handle, 0, buffer, &type, &size);
    while (next != 0) {
        entries.push_back({buffer, type, size});
        EXPECT_EQ(next, static_cast<std::int32_t>(entries.size()));
        std::memset(buffer, ' ', sizeof buffer);
        next = HPIGetFiles(handle, next, buffer, &type, &size);
    }
    return entries;
}

class HpiUtilTest : public ::testing::Test {
protected:
    void SetUp() override {
        archive_ = (dir_ / "Game.hpi").string();
        WriteFile(
            archive_,
            BuildRawArchive({
                RawDir("scripts", {RawFile("ArmCom.cob", "commander script"), RawDir("empty")}),
                RawFile("readme.txt", "hello", 1),
                RawDir("..", {RawFile("evil.txt", "escape")}),
            }));
    }
    TempDir dir_;
    std::string archive_;
};

TEST_F(HpiUtilTest, EnumeratesDepthFirstWithFullPathsTypesAndSizes) {
    HpiHandle handle = HPIOpen(archive_.c_str());
    ASSERT_NE(handle, 0) << HPILastError();
    auto entries = Enumerate(handle);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].name, "scripts");
    EXPECT_EQ(entries[0].type, 1);
    EXPECT_EQ(entries[1].name, "scripts\\ArmCom.cob");
    EXPECT_EQ(entries[1].type, 0);
    EXPECT_EQ(entries[1].size, 16);
    EXPECT_EQ(entries[2].name, "scripts\\empty");
    EXPECT_EQ(entries[2].type, 1);
    EXPECT_EQ(entries[3].name, "readme.txt");
    EXPECT_EQ(entries[3].size, 5);
    EXPECT_EQ(entries[4].name, "..");
    EXPECT_EQ(entries[5].name, "..\\evil.txt");
    // Past the end, and numbers that were never handed out, give 0.
    char buffer[kHpiNameBufferSize] = "untouched";
    EXPECT_EQ(HPIGetFiles(handle, 6, buffer, nullptr, nullptr), 0);
    EXPECT_EQ(HPIGetFiles(handle, -1, buffer, nullptr, nullptr), 0);
    EXPECT_STREQ(buffer, "untouched");
    // Enumeration may restart, and continue from any number.
    EXPECT_EQ(HPIGetFiles(handle, 3, buffer, nullptr, nullptr), 4);
    EXPECT_STREQ(buffer, "readme.txt");
    EXPECT_NE(HPIClose(handle), 0);
    EXPECT_EQ(HPIClose(handle), 0);
    EXPECT_EQ(HPIGetFiles(handle, 0, buffer, nullptr, nullptr), 0);
}

TEST(HpiUtil, ALongNameIsCutTo254CharactersAndNothingPastTheBufferIsWritten) {
    TempDir dir;
    std::string outer(200, 'o'), inner(100, 'i');
    std::string path = (dir / "long.hpi").string();
    WriteFile(path, BuildRawArchive({RawDir(outer, {RawFile(inner, "x")})}));
    HpiHandle handle = HPIOpen(path.c_str());
    ASSERT_NE(handle, 0) << HPILastError();
    std::vector<char> memory(kHpiNameBufferSize + 64, '\x5A');
    std::int32_t type = -1, size = -1;
    EXPECT_EQ(HPIGetFiles(handle, 1, memory.data(), &type, &size), 2);
    std::string full = outer + "\\" + inner;
    EXPECT_EQ(std::string(memory.data()), full.substr(0, 254));
    EXPECT_EQ(memory[254], '\0');
    for (size_t i = kHpiNameBufferSize; i < memory.size(); ++i)
        ASSERT_EQ(memory[i], '\x5A') << "guard byte " << i;
    HPIClose(handle);
}

TEST_F(HpiUtilTest, ExtractsWithoutRegardToCaseAndReplacesAnExistingFile) {
    HpiHandle handle = HPIOpen(archive_.c_str());
    ASSERT_NE(handle, 0);
    std::string destination = (dir_ / "armcom.cob").string();
    WriteFile(destination, "an older file, longer than the new one");
    EXPECT_NE(HPIExtractFile(handle, "SCRIPTS\\armcom.COB", destination.c_str()), 0)
        << HPILastError();
    EXPECT_EQ(ReadFile(destination), "commander script");
    std::string second = (dir_ / "readme.txt").string();
    EXPECT_NE(HPIExtractFile(handle, "readme.txt", second.c_str()), 0) << HPILastError();
    EXPECT_EQ(ReadFile(second), "hello");
    EXPECT_EQ(Listing(dir_.path()),
              (std::vector<std::string>{"Game.hpi", "armcom.cob", "readme.txt"}));
    HPIClose(handle);
}

TEST_F(HpiUtilTest, FailedExtractionsReturnZeroSayWhyAndWriteNothing) {
    HpiHandle handle = HPIOpen(archive_.c_str());
    ASSERT_NE(handle, 0);
    std::string destination = (dir_ / "out.txt").string();

    EXPECT_EQ(HPIExtractFile(handle, "..\\evil.txt", destination.c_str()), 0);
    EXPECT_EQ(
        HPILastError(),
        "Game.hpi: '..\\evil.txt' is not extracted: it lies in directory '..', which is unsafe");
    EXPECT_EQ(HPIExtractFile(handle, "scripts\\missing.cob", destination.c_str()), 0);
    EXPECT_EQ(HPILastError(), "Game.hpi: no entry named 'scripts\\missing.cob'");
    EXPECT_EQ(HPIExtractFile(handle, "scripts", destination.c_str()), 0);
    EXPECT_EQ(HPILastError(), "Game.hpi: 'scripts' is a directory, not a file");
    std::string noFolder = (dir_ / "no such folder" / "out.txt").string();
    EXPECT_EQ(HPIExtractFile(handle, "readme.txt", noFolder.c_str()), 0);
    EXPECT_NE(HPILastError().find("cannot extract 'readme.txt'"), std::string::npos)
        << HPILastError();
    EXPECT_EQ(HPIExtractFile(0, "readme.txt", destination.c_str()), 0);
    EXPECT_EQ(HPIExtractFile(handle, nullptr, destination.c_str()), 0);

    EXPECT_EQ(Listing(dir_.path()), std::vector<std::string>{"Game.hpi"});
    HPIClose(handle);
}

TEST(HpiUtil, OpenFailuresReturnZeroAndSayWhy) {
    TempDir dir;
    std::string missing = (dir / "absent.ufo").string();
    EXPECT_EQ(HPIOpen(missing.c_str()), 0);
    EXPECT_EQ(HPILastError(), "absent.ufo: cannot open: No such file or directory");
    std::string bank = (dir / "save.sav").string();
    WriteFile(bank, "BANK and then some bytes of a saved game");
    EXPECT_EQ(HPIOpen(bank.c_str()), 0);
    EXPECT_EQ(HPILastError(), "save.sav: this is a saved game ('BANK'), not an HPI archive");
    EXPECT_EQ(HPIOpen(nullptr), 0);
}

// Program path texts go through the path mapping: a drive letter through the Wine prefix, and
// names without regard to case.
TEST(HpiUtil, PathTextsAreMappedLikeTheRestOfTheProgram) {
    testing::FakeMachine machine;
    const fs::path ta = machine.DriveC() / "games" / "ta";
    WriteFile(ta / "kelmora.ufo",
              BuildRawArchive({RawFile("a.txt", "mapped"), RawFile("b.txt", "laid over")}));
    HpiHandle handle = HPIOpen(machine.C("\\Games\\TA\\KELMORA.UFO").c_str());
    ASSERT_NE(handle, 0) << HPILastError();
    EXPECT_NE(HPIExtractFile(handle, "A.TXT", machine.C("\\games\\ta\\A.txt").c_str()), 0)
        << HPILastError();
    EXPECT_EQ(ReadFile(ta / "A.txt"), "mapped");
    // The file just extracted is found again in another letter case, and replaced.
    EXPECT_NE(HPIExtractFile(handle, "b.txt", machine.C("\\games\\ta\\a.TXT").c_str()), 0)
        << HPILastError();
    EXPECT_EQ(ReadFile(ta / "A.txt"), "laid over");
    EXPECT_EQ(Listing(ta), (std::vector<std::string>{"A.txt", "kelmora.ufo"}));
    HPIClose(handle);
    EXPECT_EQ(HPIOpen("Q:\\nowhere.ufo"), 0);
    EXPECT_EQ(HPILastError(), "Q:\\nowhere.ufo: Path not found");
}

// ---- Packing ----

std::vector<std::vector<std::int32_t>> calls;
std::int32_t RecordProgress(std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                            std::int32_t a5, std::int32_t a6, std::int32_t a7, std::int32_t a8) {
    calls.push_back({a1, a2, a3, a4, a5, a6, a7, a8});
    return 0;
}

TEST(HpiUtil, PacksDirectoriesAndFilesInTheOrderAdded) {
    TempDir dir;
    WriteFile(dir / "work" / "scripts" / "armcom.cob", testing::TextBytes(150000, 1));
    WriteFile(dir / "work" / "scripts" / "armsy.cob", "sy");
    WriteFile(dir / "work" / "root.txt", "at the root");
    std::string target = (dir / "rev31.gp3").string();
    calls.clear();
    HpiHandle pack = HPICreate(target.c_str(), RecordProgress);
    ASSERT_NE(pack, 0);
    EXPECT_NE(HPICreateDirectory(pack, "scripts\\"), 0) << HPILastError();
    EXPECT_NE(HPIAddFile(pack, "Scripts\\Armsy.cob",
                         (dir / "work" / "scripts" / "armsy.cob").string().c_str()),
              0);
    EXPECT_NE(HPIAddFile(pack, "Scripts\\Armcom.cob",
                         (dir / "work" / "scripts" / "armcom.cob").string().c_str()),
              0);
    EXPECT_NE(HPICreateDirectory(pack, "unitpics\\arm\\"), 0) << HPILastError();
    EXPECT_NE(HPIAddFile(pack, "Root.txt", (dir / "work" / "root.txt").string().c_str()), 0);
    EXPECT_NE(HPIPackArchive(pack, 2), 0) << HPILastError();
    // The handle is released by packing.
    EXPECT_EQ(HPIPackArchive(pack, 2), 0);
    EXPECT_EQ(HPIAddFile(pack, "x", "y"), 0);

    HpiReader reader = HpiReader::Open(target);
    std::vector<std::string> paths;
    for (const auto& entry : reader.entries()) paths.push_back(entry.path);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"scripts", "scripts\\Armsy.cob", "scripts\\Armcom.cob",
                                        "unitpics", "unitpics\\arm", "Root.txt"}));
    EXPECT_EQ(reader.ExtractToMemory(*reader.Find("scripts\\armcom.cob")),
              testing::TextBytes(150000, 1));
    EXPECT_EQ(reader.ExtractToMemory(*reader.Find("root.txt")), "at the root");

    ASSERT_FALSE(calls.empty());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_GT(calls[i][7], 0);
        EXPECT_LE(calls[i][6], calls[i][7]);
        if (i > 0) {
            EXPECT_GE(calls[i][6], calls[i - 1][6]);
        }
        EXPECT_EQ(calls[i][3], 3);  // files in all
    }
    EXPECT_EQ(calls.back()[6], calls.back()[7]);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"rev31.gp3", "work"}));
}

TEST(HpiUtil, AnEmptyArchiveIsWrittenAndTheProgressTotalIsNeverZero) {
    TempDir dir;
    std::string target = (dir / "empty.hpi").string();
    calls.clear();
    HpiHandle pack = HPICreate(target.c_str(), RecordProgress);
    EXPECT_NE(HPIPackArchive(pack, 2), 0) << HPILastError();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back()[6], calls.back()[7]);
    EXPECT_GT(calls.back()[7], 0);
    EXPECT_TRUE(HpiReader::Open(target).entries().empty());
    EXPECT_EQ(fs::file_size(target), 28u);
}

// A failed pack returns 0, says why, and leaves the old archive byte for byte as it was, with no
// temporary file beside it.
TEST(HpiUtil, AFailedPackLeavesTheOldArchiveAsItWas) {
    TempDir dir;
    std::string target = (dir / "rev31.gp3").string();
    const std::string old = BuildRawArchive({RawFile("old.txt", "the former archive")});
    WriteFile(target, old);
    WriteFile(dir / "present.txt", "present");

    {  // A source file that is missing when packing.
        HpiHandle pack = HPICreate(target.c_str(), RecordProgress);
        EXPECT_NE(HPIAddFile(pack, "present.txt", (dir / "present.txt").string().c_str()), 0);
        EXPECT_NE(HPIAddFile(pack, "gone.txt", (dir / "gone.txt").string().c_str()), 0);
        EXPECT_EQ(HPIPackArchive(pack, 2), 0);
        EXPECT_NE(HPILastError().find("rev31.gp3: not written: cannot read '"), std::string::npos)
            << HPILastError();
        EXPECT_NE(HPILastError().find("gone.txt"), std::string::npos) << HPILastError();
    }
    {  // An entry that could not be added makes the whole pack fail.
        HpiHandle pack = HPICreate(target.c_str(), nullptr);
        EXPECT_NE(HPIAddFile(pack, "present.txt", (dir / "present.txt").string().c_str()), 0);
        EXPECT_EQ(HPIAddFile(pack, "..\\escape.txt", (dir / "present.txt").string().c_str()), 0);
        EXPECT_EQ(HPIPackArchive(pack, 2), 0);
        EXPECT_EQ(HPILastError(),
                  "rev31.gp3: not written, because an entry could not be added: '..\\escape.txt': "
                  "cannot be an "
                  "archive entry: the name is '..'");
    }
    {  // An unknown compression method.
        HpiHandle pack = HPICreate(target.c_str(), nullptr);
        EXPECT_EQ(HPIPackArchive(pack, 7), 0);
        EXPECT_EQ(HPILastError(), "rev31.gp3: not written: unknown compression method 7");
    }
    {  // A target that cannot be replaced: a folder of that name.
        std::string folderTarget = (dir / "folder.gp3").string();
        fs::create_directory(folderTarget);
        WriteFile(dir / "folder.gp3" / "inside", "kept");
        HpiHandle pack = HPICreate(folderTarget.c_str(), nullptr);
        EXPECT_EQ(HPIPackArchive(pack, 2), 0);
        EXPECT_NE(HPILastError().find("cannot rename"), std::string::npos) << HPILastError();
        EXPECT_EQ(ReadFile(dir / "folder.gp3" / "inside"), "kept");
    }
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(Listing(dir.path()),
              (std::vector<std::string>{"folder.gp3", "present.txt", "rev31.gp3"}));
}

TEST(HpiUtil, AReadOnlyTargetFolderFailsThePackAndKeepsTheOldArchive) {
    if (!testing::FolderPermissionsBind()) GTEST_SKIP() << "folder permissions do not bind here";
    TempDir dir;
    fs::create_directory(dir / "game");
    std::string target = (dir / "game" / "rev31.gp3").string();
    WriteFile(target, "old archive");
    fs::permissions(dir / "game", fs::perms::owner_read | fs::perms::owner_exec);
    HpiHandle pack = HPICreate(target.c_str(), nullptr);
    EXPECT_EQ(HPIPackArchive(pack, 2), 0);
    EXPECT_NE(HPILastError().find("cannot create a temporary file"), std::string::npos)
        << HPILastError();
    fs::permissions(dir / "game", fs::perms::owner_all);
    EXPECT_EQ(ReadFile(target), "old archive");
    EXPECT_EQ(Listing(dir / "game"), std::vector<std::string>{"rev31.gp3"});
}

// The disk fills up halfway through the new archive (the fault seam fails the second write, as a
// full disk would on every host): the old archive stays and the partial one is removed.
TEST(HpiUtil, AWriteFailureHalfwayLeavesTheOldArchive) {
    TempDir dir;
    std::string target = (dir / "rev31.gp3").string();
    WriteFile(target, "old archive");
    WriteFile(dir / "big.bin", testing::RandomBytes(400000, 5));
    HpiHandle pack = HPICreate(target.c_str(), nullptr);
    HPIAddFile(pack, "big.bin", (dir / "big.bin").string().c_str());

    // The temporary file's creation, then its first write.
    faults::FailAt(3, kDiskFull);
    std::int32_t result = HPIPackArchive(pack, 2);
    const std::string struck = faults::Struck();
    faults::Disarm();
    std::string error = HPILastError();

    EXPECT_EQ(result, 0);
    EXPECT_TRUE(struck.starts_with("write ")) << struck;
    EXPECT_NE(error.find("rev31.gp3: not written: cannot write"), std::string::npos) << error;
    // For the player: the full disk it is, naming the archive, not the temporary file.
    EXPECT_EQ(HPILastRuntimeError().number(), kDiskFull);
    EXPECT_EQ(HPILastRuntimeError().path(), target);
    EXPECT_EQ(ReadFile(target), "old archive");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"big.bin", "rev31.gp3"}));
}

// A read-only game archive is replaced too, and stays read-only: Windows would refuse to replace
// it as it is.
TEST(HpiUtil, PackReplacesAnExistingArchiveAndKeepsItsPermissions) {
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
        TempDir dir;
        std::string target = (dir / "rev31.gp3").string();
        WriteFile(target, "old");
        if (readOnly) {
            fs::permissions(target,
                            fs::perms::owner_write | fs::perms::group_write |
                                fs::perms::others_write,
                            fs::perm_options::remove);
        }
        WriteFile(dir / "a.txt", "new content");
        HpiHandle pack = HPICreate(target.c_str(), nullptr);
        HPIAddFile(pack, "A.txt", (dir / "a.txt").string().c_str());
        ASSERT_NE(HPIPackArchive(pack, 2), 0) << HPILastError();
        HpiReader reader = HpiReader::Open(target);
        EXPECT_EQ(reader.ExtractToMemory(reader.entries().at(0)), "new content");
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::owner_write,
                  readOnly ? fs::perms::none : fs::perms::owner_write);
        EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.txt", "rev31.gp3"}));
    }
}

}  // namespace
}  // namespace kelmora
