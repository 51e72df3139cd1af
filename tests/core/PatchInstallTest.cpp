// SPDX-License-Identifier: GPL-3.0-or-later
// The install procedure's cases, from the version check to the clean-up. One file past 500 lines:
// every case works the same sandbox, archives and fixtures, which a split would write twice.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/InstallerState.h"
#include "core/PackProgress.h"
#include "core/PatchInstall.h"
#include "core/ProgramEnd.h"
#include "platform/FaultInjection.h"
#include "platform/FolderLock.h"
#include "platform/PathMapping.h"
#include "support/GameSandbox.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::ArchiveEntryContent;
using testing::ArchiveListing;
using testing::GameSandbox;
using testing::ReadFile;

// A name in a folder as the program writes it: joined with the host's separator.
std::string In(const std::string& folder, const char* name) {
    return folder + testing::kHostSeparator + name;
}

const std::vector<ArchiveEntry> kGameArchive = {
    {"Scripts", std::nullopt},
    {"Scripts\\ArmCom.cob", "game armcom"},
    {"Scripts\\CorCom.cob", "game corcom"},
    {"anims", std::nullopt},
    {"anims\\x.gaf", "game anim"},
    {"Root.txt", "game root file"},
};

const std::vector<ArchiveEntry> kPackage = {
    {"rev31.gp3", std::nullopt},
    {"rev31.gp3\\unitpics", std::nullopt},
    {"rev31.gp3\\unitpics\\ARM COMMANDER.PCX", "package picture"},
    {"rev31.gp3\\scripts", std::nullopt},
    {"rev31.gp3\\scripts\\armcom.COB", "package armcom"},
    {"rev31.gp3\\pkgroot.txt", "package root file"},
    {"docs", std::nullopt},
    {"docs\\manual.txt", "not for the game"},
};

// A display that lets a test act at a given moment of the run.
class HookedDisplay : public testing::RecordingDisplay {
public:
    void SetAction(const std::string& text) override {
        RecordingDisplay::SetAction(text);
        if (onAction) onAction(text);
    }
    void Repaint() override {
        RecordingDisplay::Repaint();
        if (onRepaint) onRepaint();
    }
    std::function<void(const std::string&)> onAction;
    std::function<void()> onRepaint;
};

class InstallPatchTest : public ::testing::Test {
protected:
    void Use(const GameSandbox& sandbox) {
        state = InstallerState{testing::HostText(sandbox.gameFolder),
                               testing::HostText(sandbox.packageFolder)};
        lastPackPercent = 0;
    }

    // The folders as the install's texts show them: a drive path in lower case, any other as
    // spelled on disk.
    std::string ShownGame() const { return ShownFolder(OnDiskSpelling(state.gameFolder)); }
    std::string ShownPackage() const { return ShownFolder(OnDiskSpelling(state.packageFolder)); }

    InstallerState state;

    testing::ScriptedMessageBox messages;
    HookedDisplay display;
};

TEST_F(InstallPatchTest, LaysThePackageOverTheGameArchiveAndKeepsABackup) {
    GameSandbox sandbox(kGameArchive, kPackage);
    const fs::path spelled = sandbox.root.path() / testing::PathFromUtf8("Spiele \xC3\x9C");
    fs::rename(sandbox.gameFolder, spelled);
    sandbox.gameFolder = spelled;
    Use(sandbox);
    // Typed in another letter case; its texts spell it as on disk (a drive path in lower case).
    state.gameFolder = LowerCase(state.gameFolder);
    const std::string original = ReadFile(sandbox.GameArchive());

    InstallPatch(state, display, messages);

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(state.installFailed);
    EXPECT_EQ(InstallOutcomeMessage(state).text,
              "Installation Successful.  The Orvald's Kelmora is now ready to run.");
    // Root files first, then the package's directories in its order, then the game's own.
    using Listing = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(ArchiveListing(sandbox.GameArchive()),
              (Listing{{"Pkgroot.txt", false},
                       {"Root.txt", false},
                       {"unitpics", true},
                       {"unitpics\\Arm Commander.pcx", false},
                       {"scripts", true},
                       {"scripts\\Armcom.cob", false},
                       {"scripts\\Corcom.cob", false},
                       {"anims", true},
                       {"anims\\X.gaf", false}}));
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "scripts\\armcom.cob"), "package armcom");
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "scripts\\corcom.cob"), "game corcom");
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "unitpics\\arm commander.pcx"),
              "package picture");
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "root.txt"), "game root file");
    EXPECT_EQ(ReadFile(sandbox.BackupFolder() / "rev31.gp3"), original);
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
    EXPECT_FALSE(fs::exists(sandbox.Package()));

    const std::string game = In(ShownGame(), "rev31.gp3");
    EXPECT_EQ(display.actions,
              (std::vector<std::string>{
                  "Backing up rev31.gp3...", "Extracting data from " + game + "...",
                  "Extracting data from " + In(ShownPackage(), "Kelmora.ufo") + "...",
                  "Compressing " + game + "..."}));
    EXPECT_EQ(display.PercentagesDuring("Extracting data from " + game + "..."),
              (std::vector<std::string>{"0%", "33%", "66%", "100%"}));
    const auto packing = display.PercentagesDuring("Compressing " + game + "...");
    ASSERT_FALSE(packing.empty());
    EXPECT_EQ(packing.front(), "0%");
    EXPECT_EQ(packing.back(), "100%");
}

TEST_F(InstallPatchTest, ShowsThreeEntriesAsHalvesAndASingleEntryAsComplete) {
    GameSandbox sandbox({{"a", std::nullopt}, {"a\\1", "1"}, {"a\\2", "2"}, {"a\\3", "3"}},
                        {{"rev31.gp3\\a", std::nullopt}, {"rev31.gp3\\a\\2", "new 2"}});
    Use(sandbox);
    InstallPatch(state, display, messages);
    EXPECT_EQ(display.PercentagesDuring("Extracting data from " +
                                        In(ShownGame(), "rev31.gp3") + "..."),
              (std::vector<std::string>{"0%", "50%", "100%"}));
    EXPECT_EQ(display.PercentagesDuring("Extracting data from " +
                                        In(ShownPackage(), "Kelmora.ufo") + "..."),
              (std::vector<std::string>{"100%"}));
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "a\\2"), "new 2");
}

TEST_F(InstallPatchTest, PacksAnEntryThatOnlyStartsLikeThePackagesFolderUnderTheRestOfItsName) {
    GameSandbox sandbox({{"x", std::nullopt}, {"x\\b.txt", "game b"}},
                        {{"rev31.gp3x", std::nullopt}, {"rev31.gp3x\\a.txt", "package a"}});
    Use(sandbox);
    InstallPatch(state, display, messages);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "x\\a.txt"), "package a");
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "x\\b.txt"), "game b");
}

TEST_F(InstallPatchTest, ReusesAWorkAndBackupFolderLeftByAnInterruptedRunWithoutAWord) {
    GameSandbox sandbox(kGameArchive, kPackage);
    fs::create_directories(sandbox.WorkFolder() / "scripts");
    testing::WriteFile(sandbox.WorkFolder() / "scripts" / "armcom.cob", "stale");
    testing::WriteFile(sandbox.BackupFolder() / "rev31.gp3", "stale backup");
    Use(sandbox);
    const std::string original = ReadFile(sandbox.GameArchive());

    InstallPatch(state, display, messages);

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(state.installFailed);
    EXPECT_EQ(ReadFile(sandbox.BackupFolder() / "rev31.gp3"), original);
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "scripts\\armcom.cob"), "package armcom");
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
}

// Windows refuses to replace a read-only file; the install replaces it there too, and the new
// archive keeps the old one's read-only attribute, as it keeps its permissions elsewhere.
TEST_F(InstallPatchTest, AReadOnlyGameArchiveIsReplacedAndStaysReadOnly) {
    GameSandbox sandbox(kGameArchive, kPackage);
    fs::permissions(sandbox.GameArchive(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Use(sandbox);

    InstallPatch(state, display, messages);

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(state.installFailed);
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "scripts\\armcom.cob"), "package armcom");
    EXPECT_EQ(fs::status(sandbox.GameArchive()).permissions() & fs::perms::owner_write,
              fs::perms::none);
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
}

class VersionCheckTest : public InstallPatchTest {
protected:
    // Runs the install, expecting it to end the program; returns the status it ended with.
    int RunExpectingEnd() {
        testing::CatchProgramEnd catchEnd;
        try {
            InstallPatch(state, display, messages);
        } catch (const ProgramEnded& end) {
            return end.status;
        }
        ADD_FAILURE() << "the version check did not end the program";
        return -1;
    }

    void ExpectNothingTouched(const GameSandbox& sandbox, const std::string& archive) {
        EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
        EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
        EXPECT_TRUE(fs::exists(sandbox.Package()));
        EXPECT_EQ(ReadFile(sandbox.GameArchive()), archive);
        EXPECT_TRUE(display.actions.empty());
    }
};

TEST_F(VersionCheckTest, AGameArchiveOneByteLongerIsAConflictNamingOnlyIt) {
    GameSandbox sandbox(kGameArchive, kPackage);
    fs::resize_file(sandbox.GameArchive(), testing::kRev31Size + 1);
    Use(sandbox);
    const std::string archive = ReadFile(sandbox.GameArchive());

    EXPECT_EQ(RunExpectingEnd(), 0);

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0].text,
        "The following file(s) do not match the Cavedog defaults:\r     " +
            In(ShownGame(), "rev31.gp3") +
            "\r\rPlease verify that you have not installed any 3rd party "
            "modifications to these files.\r\rPlease press OK to terminate this installation.");
    EXPECT_EQ(messages.shown[0].title, "Version Conflict Detected");
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::kCritical);
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::kOk);
    ExpectNothingTouched(sandbox, archive);
}

TEST_F(VersionCheckTest, AllThreeFilesOffAreListedInTheirOrder) {
    GameSandbox sandbox(kGameArchive, kPackage);
    fs::resize_file(sandbox.gameFolder / "totala1.hpi", testing::kTotala1Size - 1);
    fs::resize_file(sandbox.gameFolder / "ccdata.ccx", 0);
    fs::resize_file(sandbox.GameArchive(), testing::kRev31Size - 1);
    Use(sandbox);
    const std::string archive = ReadFile(sandbox.GameArchive());

    EXPECT_EQ(RunExpectingEnd(), 0);

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(
        messages.shown[0].text.find(":\r     " + In(ShownGame(), "totala1.hpi") + "\r     " +
                                    In(ShownGame(), "ccdata.ccx") + "\r     " +
                                    In(ShownGame(), "rev31.gp3") + "\r\rPlease"),
        std::string::npos)
        << messages.shown[0].text;
    ExpectNothingTouched(sandbox, archive);
}

TEST_F(VersionCheckTest, AMissingGameFileIsARunTimeErrorForTheCaller) {
    GameSandbox sandbox(kGameArchive, kPackage);
    fs::remove(sandbox.gameFolder / "ccdata.ccx");
    Use(sandbox);
    try {
        InstallPatch(state, display, messages);
        FAIL() << "a missing game file must raise";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), kFileNotFound);
        EXPECT_EQ(error.path(), In(ShownGame(), "ccdata.ccx"));
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
}

// Another run holding the game folder, or a game archive or package there in two spellings: the
// install ends before it changes anything, saying why with the stop icon.
TEST_F(VersionCheckTest, AnotherRunOrTwoSpellingsEndTheInstallBeforeAnyChange) {
    struct Case {
        const char* why;
        std::function<std::optional<FolderLock>(const GameSandbox&)> arrange;
    };
    std::vector<Case> cases = {
        {"another run of this program is changing the folder",
         [](const GameSandbox& sandbox) {
             return FolderLock::TryTake(sandbox.gameFolder.string());
         }},
    };
#ifndef _WIN32
    // A Windows folder holds one file per name whatever its letter case.
    cases.push_back({"/game/REV31.GP3\r", [](const GameSandbox& sandbox) {
                         testing::WriteFile(sandbox.gameFolder / "REV31.GP3", "the player's");
                         return std::nullopt;
                     }});
    cases.push_back({"/package/Kelmora.ufo\r", [](const GameSandbox& sandbox) {
                         testing::WriteFile(sandbox.packageFolder / "Kelmora.ufo",
                                            "another download");
                         return std::nullopt;
                     }});
#endif
    for (const Case& refusal : cases) {
        SCOPED_TRACE(refusal.why);
        GameSandbox sandbox(kGameArchive, kPackage);
        const std::optional<FolderLock> held = refusal.arrange(sandbox);
        Use(sandbox);
        messages.shown.clear();
        const std::string archive = ReadFile(sandbox.GameArchive());

        EXPECT_EQ(RunExpectingEnd(), 0);

        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].text.find(refusal.why), std::string::npos)
            << messages.shown[0].text;
        EXPECT_NE(messages.shown[0].text.find("Nothing has been changed."), std::string::npos);
        EXPECT_EQ(messages.shown[0].icon, MsgIcon::kCritical);
        ExpectNothingTouched(sandbox, archive);
    }
}

// A work-folder directory that cannot be listed would leave its files out of the new archive:
// the install stops before packing and undoes what it made.
TEST_F(InstallPatchTest, AWorkFolderDirectoryThatCannotBeListedStopsBeforePacking) {
    std::uint64_t listing = 0;
    {
        GameSandbox sandbox(kGameArchive, kPackage);
        Use(sandbox);
        faults::Record([&](const faults::Operation& operation) {
            if (operation.op == faults::Op::kList && operation.path.filename() == "anims")
                listing = operation.number;
        });
        InstallPatch(state, display, messages);
        faults::Disarm();
        ASSERT_GT(listing, 0u);
    }
    GameSandbox sandbox(kGameArchive, kPackage);
    Use(sandbox);
    const std::string original = ReadFile(sandbox.GameArchive());
    faults::FailAt(listing, kPermissionDenied);

    InstallPatch(state, display, messages);
    faults::Disarm();

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Error 70: Permission denied: " + In(In(ShownGame(), "Orv_Rev31"), "anims"));
    EXPECT_TRUE(state.installFailed);
    EXPECT_EQ(ReadFile(sandbox.GameArchive()), original);
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
    EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
    EXPECT_TRUE(fs::exists(sandbox.Package()));
}

// Once the new archive is in place the install has succeeded: what its clean-up could not delete
// is named in that one outcome, not in an error message before it.
TEST_F(InstallPatchTest, WhatTheCleanUpCouldNotDeleteIsNamedInTheSuccess) {
    std::uint64_t removal = 0;
    {
        GameSandbox sandbox(kGameArchive, kPackage);
        Use(sandbox);
        faults::Record([&](const faults::Operation& operation) {
            if (operation.op == faults::Op::kDeleteTree) removal = operation.number;
        });
        InstallPatch(state, display, messages);
        faults::Disarm();
    }
    GameSandbox sandbox(kGameArchive, kPackage);
    Use(sandbox);
    faults::FailAt(removal, kDeviceIOError);
    InstallPatch(state, display, messages);
    faults::Disarm();

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(InstallOutcomeMessage(state).text,
              "Installation Successful.  The Orvald's Kelmora is now ready to run.\r\rThese could "
              "not be deleted; you may delete them yourself:\r\r     " +
                  In(ShownGame(), "Orv_Rev31") + " (Error 57: Device I/O error)");
    EXPECT_EQ(InstallOutcomeMessage(state).icon, MsgIcon::kNone);
    EXPECT_EQ(ArchiveEntryContent(sandbox.GameArchive(), "scripts\\armcom.cob"), "package armcom");
}

TEST_F(InstallPatchTest, NeverWritesAnEntryThatWouldLeaveTheWorkFolderAndStopsBeforePacking) {
    GameSandbox sandbox(kGameArchive, {{"rev31.gp3\\@@\\@@\\evil.txt", "escaped"},
                                       {"rev31.gp3\\scripts\\armcom.cob", "package armcom"}});
    testing::RenameInArchive(sandbox.Package(), "@@", "..");
    Use(sandbox);
    const std::string original = ReadFile(sandbox.GameArchive());

    InstallPatch(state, display, messages);

    EXPECT_FALSE(fs::exists(sandbox.root / "evil.txt"));
    EXPECT_FALSE(fs::exists(sandbox.gameFolder / "evil.txt"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error extracting #0: rev31.gp3\\..\\..\\evil.txt");
    EXPECT_EQ(messages.shown[0].title, kAppTitle);
    EXPECT_TRUE(state.installFailed);
    EXPECT_EQ(InstallOutcomeMessage(state).icon, MsgIcon::kCritical);
    // Nothing is installed: an archive without the failed entry would replace the game's.
    EXPECT_EQ(ReadFile(sandbox.GameArchive()), original);
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
    EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
    EXPECT_TRUE(fs::exists(sandbox.Package()));
}

TEST_F(InstallPatchTest, AFailedBackupStopsBeforeTheGameArchiveIsTouched) {
    GameSandbox sandbox(kGameArchive, kPackage);
    Use(sandbox);
    const std::string original = ReadFile(sandbox.GameArchive());
    const fs::path aside = sandbox.root / "aside";
    display.onAction = [&](const std::string& action) {
        if (action == "Backing up rev31.gp3...") fs::rename(sandbox.GameArchive(), aside);
    };

    InstallPatch(state, display, messages);

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error 53: File not found: " + In(ShownGame(), "rev31.gp3"));
    EXPECT_TRUE(state.installFailed);
    EXPECT_EQ(display.actions.size(), 1u);
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
    EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
    EXPECT_TRUE(fs::exists(sandbox.Package()));
    EXPECT_EQ(ReadFile(aside), original);
}

TEST_F(InstallPatchTest, AFailedBackupKeepsABackupFolderThatHeldSomethingBefore) {
    GameSandbox sandbox(kGameArchive, kPackage);
    testing::WriteFile(sandbox.BackupFolder() / "notes.txt", "mine");
    fs::create_directories(sandbox.BackupFolder() / "rev31.gp3" / "in the way");
    Use(sandbox);
    const std::string original = ReadFile(sandbox.GameArchive());

    InstallPatch(state, display, messages);

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.starts_with("Error ")) << messages.shown[0].text;
    EXPECT_TRUE(state.installFailed);
    EXPECT_EQ(ReadFile(sandbox.BackupFolder() / "notes.txt"), "mine");
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
    EXPECT_EQ(ReadFile(sandbox.GameArchive()), original);
}

TEST_F(InstallPatchTest, AFailedPackingKeepsTheGameArchiveAndUndoesTheRun) {
    // More files than the packer reads ahead of writing (a few per core), so that some are still
    // to be read when the first progress shows.
    std::vector<ArchiveEntry> game = kGameArchive;
    game.push_back({"Bulk", std::nullopt});
    for (unsigned i = 0; i < 4 * std::thread::hardware_concurrency() + 16; ++i)
        game.push_back({"Bulk\\f" + std::to_string(i) + ".txt", "bulk"});
    GameSandbox sandbox(game, kPackage);
    Use(sandbox);
    const std::string original = ReadFile(sandbox.GameArchive());
    // Once packing has begun, the files still to be read vanish.
    display.onRepaint = [&] {
        if (!display.action.starts_with("Compressing") || display.percent == "0%") return;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(sandbox.WorkFolder(), error)) {
            if (entry.is_regular_file()) fs::remove(entry.path(), error);
        }
    };

    InstallPatch(state, display, messages);

    ASSERT_EQ(messages.shown.size(), 1u);
    // The library's own words, naming the archive it could not write.
    EXPECT_TRUE(messages.shown[0].text.starts_with("Error 57: rev31.gp3"))
        << messages.shown[0].text;
    EXPECT_TRUE(state.installFailed);
    EXPECT_EQ(ReadFile(sandbox.GameArchive()), original);
    EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
    EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
    EXPECT_TRUE(fs::exists(sandbox.Package()));
}

TEST_F(InstallPatchTest, AnUnreadableArchiveStopsTheRunBeforeAnythingChanges) {
    for (const bool packageDamaged : {true, false}) {
        SCOPED_TRACE(packageDamaged ? "damaged package" : "damaged game archive");
        GameSandbox sandbox(kGameArchive, kPackage);
        const fs::path damaged = packageDamaged ? sandbox.Package() : sandbox.GameArchive();
        testing::WriteFile(damaged, std::string(1000, 'x'));
        fs::resize_file(damaged, packageDamaged ? 1000 : testing::kRev31Size);
        Use(sandbox);
        const std::string before = ReadFile(damaged);
        messages.shown.clear();

        InstallPatch(state, display, messages);

        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.starts_with("Error 57: ")) << messages.shown[0].text;
        EXPECT_TRUE(state.installFailed);
        EXPECT_FALSE(fs::exists(sandbox.WorkFolder()));
        EXPECT_FALSE(fs::exists(sandbox.BackupFolder()));
        EXPECT_TRUE(fs::exists(sandbox.Package()));
        EXPECT_EQ(ReadFile(damaged), before);
    }
}

}  // namespace
}  // namespace kelmora
