// SPDX-License-Identifier: GPL-3.0-or-later
// Installs packages and game archives that try to escape the work folder, claim what they do not
// hold, decode to more than they declare or are cut short, each through a whole install in a
// sandbox: nothing may be written outside the work folder, the outcome must tell failure, and the
// game folder must be left in an allowed state.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HostileArchive.h"
#include "InstallRun.h"
#include "Invariant.h"
#include "Scenario.h"
#include "core/InstallerState.h"
#include "core/PatchInstall.h"
#include "platform/PathMapping.h"
#include "platform/RuntimeError.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedMessageBox.h"

namespace kelmora::reliability {
namespace {

// The file every escaping entry is named after; it must appear nowhere but in the work folder.
constexpr char kEscape[] = "kelmora-escape.txt";

struct HostileCase {
    std::string name;
    std::string bytes;
};

// Every folder from the game folder up to the file system's root: where an escaping entry would
// land.
bool EscapedAnywhere(const fs::path& gameFolder) {
    for (fs::path folder = gameFolder;; folder = folder.parent_path()) {
        if (fs::exists(folder / kEscape)) return true;
        if (folder == folder.parent_path()) return false;
    }
}

std::vector<HostileCase> HostilePackages() {
    const std::string e = kEscape;
    auto package = [](std::vector<RawEntry> insideRev31, std::vector<RawEntry> atRoot = {}) {
        std::vector<RawEntry> root = {Dir("rev31.gp3", std::move(insideRev31))};
        for (RawEntry& entry : atRoot) root.push_back(std::move(entry));
        return RawArchive::Build(root);
    };
    const RawEntry sound = File("sound.txt", "a sound file");
    std::vector<HostileCase> cases = {
        {"a '..' folder", package({sound, Dir("..", {File(e, "x")})})},
        {"two '..' folders", package({sound, Dir("..", {Dir("..", {Dir("..", {File(e, "x")})})})})},
        {"a '..' file", package({sound, File("..", "x")})},
        {"a root folder 'rev31.gp3..'", package({sound}, {Dir("rev31.gp3..", {File(e, "x")})})},
        {"a root folder 'rev31.gp3..' holding '..'", package({sound}, {Dir("rev31.gp3..", {Dir("..", {File(e, "x")})})})},
        {"a root file 'rev31.gp3..'", package({sound}, {File("rev31.gp3..", "x")})},
        {"a name with backslashes", package({sound, File("..\\..\\" + e, "x")})},
        {"a name with slashes", package({sound, File("../../" + e, "x")})},
        {"an absolute name", package({sound, File("\\" + e, "x"), File("/tmp/" + e, "x")})},
        {"a drive letter", package({sound, File("C:" + e, "x"), Dir("c:", {File(e, "x")})})},
        {"names Windows cannot hold", package({sound, File("NUL", "x"), File("con.txt", "x"), Dir("trail.", {File(e, "x")}), File("trail ", "x"), File("a?b", "x")})},
        {"control characters", package({sound, File("a\x01" + e, "x"), File("new\nline", "x"), File("del\x7F", "x")})},
        {"a name of 300 bytes", package({sound, File(std::string(300, 'n'), "x")})},
        {"a path of 1000 bytes", package({sound, Dir(std::string(200, 'a'), {Dir(std::string(200, 'b'), {Dir(std::string(200, 'c'), {Dir(std::string(200, 'd'), {Dir(std::string(200, 'e'), {File(e, "x")})})})})})})},
        {"an empty name", package({sound, File("", "x")})},
        {"a '.' folder", package({sound, Dir(".", {File(e, "x")})})},
        {"one path twice", package({sound, File("Twice.txt", "first"), File("twice.TXT", "second")})},
        {"a size past the end", [&] {
             RawEntry huge = File("huge.bin", "small");
             huge.declaredSize = 0xFFFFFFF0u;
             return package({sound, huge});
         }()},
        {"a chunk that decodes to more than declared", [&] {
             RawEntry bomb = File("bomb.bin", std::string(60000, 'z'));
             bomb.zlib = true;
             bomb.declaredSize = 100;
             return package({sound, bomb});
         }()},
    };
    // A root directory claiming four thousand million entries.
    std::string huge = package({sound});
    hpi::WriteU32(
        reinterpret_cast<unsigned char*>(huge.data()) + hpi::kHeaderSize + hpi::kDirectoryCount,
        0xFFFFFFFFu);
    cases.push_back({"an entry count of 2^32-1", huge});
    // A directory that holds itself.
    std::string cycle = package({sound, Dir("loop", {})});
    {
        // The "loop" entry is the last one of rev31.gp3's list; point its record at the root's.
        const size_t name = cycle.find(std::string("loop") + '\0');
        for (size_t entry = hpi::kHeaderSize; entry + hpi::kEntrySize <= cycle.size(); ++entry) {
            auto* p = reinterpret_cast<unsigned char*>(cycle.data()) + entry;
            if (hpi::ReadU32(p + hpi::kEntryName) == name && p[hpi::kEntryKind] == 1) {
                hpi::WriteU32(p + hpi::kEntryRecord, hpi::kHeaderSize);
                break;
            }
        }
    }
    cases.push_back({"a directory cycle", cycle});
    return cases;
}

// Whether every entry an install takes from `bytes` reads back whole: then a successful outcome
// is honest. Only package entries below "rev31.gp3" are taken; a later entry repeating an earlier
// one's path is passed over for the earlier one.
bool TakenEntriesReadable(const std::string& bytes, bool package) {
    try {
        const HpiReader reader = HpiReader::FromMemory(bytes, "archive");
        for (const HpiEntry& entry : reader.entries()) {
            if (package && !LowerCase(entry.path).starts_with("rev31.gp3")) continue;
            if (entry.unsafeReason.starts_with("another entry before it")) continue;
            if (!entry.safe()) return false;
            if (!entry.directory) reader.ExtractToMemory(entry);
        }
        return true;
    } catch (const HpiError&) {
        return false;
    }
}

// Runs one hostile archive through an install; `inGame` puts it in place of rev31.gp3 (padded to
// the released size) instead of the package.
void Check(const HostileCase& hostile, bool inGame, int& cases) {
    SCOPED_TRACE(hostile.name + (inGame ? " (game archive)" : " (package)"));
    testing::GameSandbox sandbox(GameEntries(), PackageEntries());
    if (inGame) {
        testing::WriteFile(sandbox.GameArchive(), hostile.bytes);
        if (hostile.bytes.size() <= testing::kRev31Size)
            PadFile(sandbox.GameArchive(), testing::kRev31Size);
    } else {
        testing::WriteFile(sandbox.Package(), hostile.bytes);
    }
    // As the install finds it: a game archive cut short and padded reads on as zeros.
    const std::string placed = ReadAll(inGame ? sandbox.GameArchive() : sandbox.Package());
    InstallInvariant invariant(sandbox);
    const InstallResult outcome = RunInstall(sandbox);
    ++cases;
    EXPECT_FALSE(EscapedAnywhere(sandbox.gameFolder));
    if (!TakenEntriesReadable(placed, !inGame)) {
        EXPECT_FALSE(outcome.success) << "a damaged or unsafe archive installed as if sound";
        EXPECT_FALSE(outcome.shown.empty());
    }
    EXPECT_EQ(invariant.Check(false, outcome.success), "");
}

TEST(HostileArchiveTest, EscapingAndLyingArchivesAreRefusedWithoutHarm) {
    int cases = 0;
    for (const HostileCase& hostile : HostilePackages()) {
        Check(hostile, false, cases);
        // The same trees as the game's own archive: its files are extracted whatever their path.
        Check(hostile, true, cases);
    }
    std::printf("hostile archives: %d installs of escaping or lying archives\n", cases);
}

TEST(HostileArchiveTest, ArchivesCutShortAnywhereAreRefusedWithoutHarm) {
    int cases = 0;
    const std::string package = [] {
        testing::TempDir scratch;
        WriteArchive(scratch / "package.ufo", PackageEntries());
        return ReadAll(scratch / "package.ufo");
    }();
    const std::string game = [] {
        testing::TempDir scratch;
        WriteArchive(scratch / "game.hpi", GameEntries());
        return ReadAll(scratch / "game.hpi");
    }();
    // Every cut in the header and the directory, then cuts spread over the data.
    auto cuts = [](const std::string& bytes) {
        std::vector<size_t> at;
        const size_t directoryEnd = hpi::ReadU32(
            reinterpret_cast<const unsigned char*>(bytes.data()) + hpi::kHeaderDirectoryEnd);
        for (size_t cut = 0; cut < directoryEnd; cut += cut < 40 ? 1 : 7) at.push_back(cut);
        for (size_t cut = directoryEnd; cut < bytes.size();
             cut += std::max<size_t>(1, (bytes.size() - directoryEnd) / 25))
            at.push_back(cut);
        at.push_back(bytes.size() - 1);
        return at;
    };
    for (size_t cut : cuts(package))
        Check({"package cut at " + std::to_string(cut), package.substr(0, cut)}, false, cases);
    for (size_t cut : cuts(game))
        Check({"game archive cut at " + std::to_string(cut), game.substr(0, cut)}, true, cases);
    std::printf("hostile archives: %d installs of archives cut short\n", cases);
}

}  // namespace
}  // namespace kelmora::reliability
