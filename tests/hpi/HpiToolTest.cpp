// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built kelmora-hpi and checks its exit status, standard output and standard error.
#include <gtest/gtest.h>

#include "hpi/HpiReader.h"
#include "hpi/HpiTestArchive.h"
#include "support/Portable.h"
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
using Outcome = testing::Finished;

class HpiToolTest : public ::testing::Test {
protected:
    Outcome Tool(const std::vector<std::string>& args) {
        return testing::Run(KELMORA_HPI_TOOL, args);
    }
    std::string Path(const std::string& name) { return testing::HostText(dir_ / name); }

    TempDir dir_;
};

TEST_F(HpiToolTest, HelpAndUsageErrors) {
    Outcome help = Tool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: kelmora-hpi COMMAND ARGUMENTS"), std::string::npos);
    EXPECT_EQ(Tool({"extract", "-h"}).status, 0);

    Outcome none = Tool({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "kelmora-hpi: no command given\nTry 'kelmora-hpi --help'.\n");
    EXPECT_EQ(Tool({"unpack", "x"}).status, 2);
    EXPECT_EQ(Tool({"list"}).status, 2);
    EXPECT_EQ(Tool({"list", "a", "b"}).status, 2);
    EXPECT_EQ(Tool({"extract", "a"}).status, 2);
    EXPECT_EQ(Tool({"pack", "--fast", "a"}).status, 2);
    EXPECT_EQ(Tool({"verify", ""}).status, 2);
    EXPECT_EQ(Tool({"list", "a", "b"}).err,
              "kelmora-hpi: 'list' takes 1 argument\nTry 'kelmora-hpi --help'.\n");
    Outcome version = Tool({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kelmora-hpi " KELMORA_VERSION "\n");
    // After "--" a name starting with '-' is a path, and nothing is an option.
    EXPECT_EQ(Tool({"verify", "-x.hpi"}).err,
              "kelmora-hpi: unknown option '-x.hpi'\nTry 'kelmora-hpi --help'.\n");
    Outcome dashed = Tool({"verify", "--", "-x.hpi"});
    EXPECT_EQ(dashed.status, 1);
    EXPECT_TRUE(dashed.err.starts_with("kelmora-hpi: -x.hpi")) << dashed.err;
    EXPECT_EQ(Tool({"--", "--version"}).status, 2);
}

TEST_F(HpiToolTest, ListsAGeneratedArchive) {
    WriteFile(
        Path("game.hpi"),
        BuildRawArchive({RawDir("scripts", {RawFile("ArmCom.cob", "12345", 2), RawDir("empty")}),
                         RawFile("Le\xF3n.txt", "abc", 1), RawFile("raw", "", 0),
                         RawFile("bad\x1B[31m", "x")}));
    Outcome list = Tool({"list", Path("game.hpi")});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out,
              "D\tscripts\t-\t-\n"
              "F\tscripts\\ArmCom.cob\t5\tzlib\n"
              "D\tscripts\\empty\t-\t-\n"
              "F\tLe\xC3\xB3n.txt\t3\tlz77\n"
              "F\traw\t0\tstored\n"
              "F\tbad<1B>[31m\t1\tzlib\tunsafe: the name contains a control character (0x1B)\n");
    EXPECT_EQ(list.err, "");
}

TEST_F(HpiToolTest, PacksAFolderAndVerifiesIt) {
    WriteFile(dir_ / "tree" / "Scripts" / "armcom.cob", testing::TextBytes(100000, 1));
    WriteFile(dir_ / "tree" / "b.txt", "b");
    WriteFile(dir_ / "tree" / "a.txt", "a");
    fs::create_directories(dir_ / "tree" / "empty");
    Outcome pack = Tool({"pack", Path("tree"), Path("out.ufo")});
    EXPECT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(pack.err, "");  // no progress line when standard error is no terminal
    Outcome list = Tool({"list", Path("out.ufo")});
    EXPECT_EQ(list.out,
              "F\ta.txt\t1\tzlib\nF\tb.txt\t1\tzlib\nD\tempty\t-\t-\nD\tScripts\t-\t-"
              "\nF\tScripts\\armcom.cob\t100000\tzlib\n");
    Outcome verify = Tool({"verify", Path("out.ufo")});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.out,
              Path("out.ufo") +
                  ": 5 entries, 3 files, 100002 bytes: every checksum and every name is sound\n");

    Outcome extract = Tool({"extract", Path("out.ufo"), Path("copy")});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_TRUE(ReadFile(dir_ / "copy" / "Scripts" / "armcom.cob") ==
                testing::TextBytes(100000, 1));
    EXPECT_TRUE(fs::is_directory(dir_ / "copy" / "empty"));

    // Packing into the folder being packed leaves the old archive out of the new one.
    Outcome inside = Tool({"pack", Path("copy"), Path("copy/self.ufo")});
    EXPECT_EQ(inside.status, 0) << inside.err;
    Outcome again = Tool({"pack", Path("copy"), Path("copy/self.ufo")});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Tool({"list", Path("copy/self.ufo")}).out.find("self.ufo"), std::string::npos);
}

// On Windows the arguments come from the wide command line, and names go out as UTF-8.
TEST_F(HpiToolTest, PathsAndNamesBeyondAsciiArriveWhole) {
    const fs::path folder = dir_.path() / testing::PathFromUtf8("D\xC3\xA9j\xC3\xA0 vu");
    WriteFile(folder / "tree" / testing::PathFromUtf8("Le\xC3\xB3n.txt"), "le\xC3\xB3n");
    const std::string archive =
        testing::HostText(folder / testing::PathFromUtf8("\xC3\x9C" "ber.ufo"));
    Outcome pack = Tool({"pack", testing::HostText(folder / "tree"), archive});
    EXPECT_EQ(pack.status, 0) << pack.err;
    Outcome list = Tool({"list", archive});
    EXPECT_EQ(list.out, "F\tLe\xC3\xB3n.txt\t5\tzlib\n") << list.err;
    Outcome extract = Tool({"extract", archive, testing::HostText(folder / "copy")});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadFile(folder / "copy" / testing::PathFromUtf8("Le\xC3\xB3n.txt")), "le\xC3\xB3n");
}

TEST_F(HpiToolTest, ExtractWritesSafeEntriesAndFailsForUnsafeOnes) {
    WriteFile(Path("hostile.ufo"), BuildRawArchive({RawFile("good.txt", "good"),
                                                    RawDir("..", {RawFile("escaped.txt", "bad")}),
                                                    RawFile("c:evil", "bad")}));
    Outcome extract = Tool({"extract", Path("hostile.ufo"), Path("out")});
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(ReadFile(dir_ / "out" / "good.txt"), "good");
    EXPECT_FALSE(fs::exists(dir_ / "escaped.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
    const std::string name = Path("hostile.ufo");
    EXPECT_EQ(
        extract.err,
        "kelmora-hpi: " + name + ": '..' is not extracted: the name is '..'\n" +
            "kelmora-hpi: " + name +
            ": '..\\escaped.txt' is not extracted: it lies in directory '..', which is unsafe\n" +
            "kelmora-hpi: " + name + ": 'c:evil' is not extracted: the name contains ':'\n");
    Outcome verify = Tool({"verify", Path("hostile.ufo")});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.err.find("3 problems found"), std::string::npos) << verify.err;
}

// Names Windows cannot hold are marked and refused on every platform, so that an archive lists,
// verifies and extracts alike everywhere.
TEST_F(HpiToolTest, ListVerifyAndExtractMarkNamesWindowsCannotHold) {
    WriteFile(Path("windows.ufo"), BuildRawArchive({RawFile("aux.txt", "a"), RawFile("trail ", "b"),
                                                    RawFile("ok.txt", "c")}));
    Outcome list = Tool({"list", Path("windows.ufo")});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out,
              "F\taux.txt\t1\tzlib\tunsafe: the name is the device aux on Windows\n"
              "F\ttrail \t1\tzlib\tunsafe: the name ends with a space\n"
              "F\tok.txt\t1\tzlib\n");
    Outcome verify = Tool({"verify", Path("windows.ufo")});
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(
        verify.err.find("'aux.txt' has an unsafe name: the name is the device aux on Windows"),
        std::string::npos)
        << verify.err;
    EXPECT_NE(verify.err.find("2 problems found"), std::string::npos) << verify.err;
    Outcome extract = Tool({"extract", Path("windows.ufo"), Path("out")});
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
    EXPECT_EQ(ReadFile(dir_ / "out" / "ok.txt"), "c");
}

TEST_F(HpiToolTest, DamagedOrMissingArchivesExitWithOneAndNameTheArchive) {
    std::string bytes = BuildRawArchive({RawFile("a.txt", testing::TextBytes(1000, 1))});
    bytes[bytes.size() - 3] = static_cast<char>(bytes[bytes.size() - 3] ^ 0x55);
    WriteFile(Path("damaged.ufo"), bytes);
    Outcome verify = Tool({"verify", Path("damaged.ufo")});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(verify.err, "kelmora-hpi: " + Path("damaged.ufo") +
                              " is damaged: chunk 1 of 1 of 'a.txt' fails its checksum\n" +
                              "kelmora-hpi: " + Path("damaged.ufo") + ": 1 problem found\n");
    EXPECT_EQ(Tool({"extract", Path("damaged.ufo"), Path("x")}).status, 1);
    EXPECT_FALSE(fs::exists(dir_ / "x" / "a.txt"));

    Outcome missing = Tool({"list", Path("absent.ufo")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "kelmora-hpi: " + Path("absent.ufo") + ": cannot open: No such file or directory\n");
    WriteFile(Path("text.ufo"), "just some text, no archive");
    Outcome notArchive = Tool({"list", Path("text.ufo")});
    EXPECT_EQ(notArchive.status, 1);
    EXPECT_EQ(notArchive.err,
              "kelmora-hpi: " + Path("text.ufo") + ": not an HPI archive (no 'HAPI' marker)\n");
    EXPECT_EQ(Tool({"pack", Path("no-such-folder"), Path("x.ufo")}).status, 1);
}

TEST_F(HpiToolTest, AFailedPackLeavesTheOldArchive) {
    struct Case {
        std::string name;
        std::string error;
    };
    std::vector<Case> cases = {
        // A name every host can hold and the archive's Windows-1252 names cannot.
        {"\xE6\x97\xA5.txt",
         "kelmora-hpi: '\xE6\x97\xA5.txt': '\xE6\x97\xA5.txt' holds a character the archive's "
         "names (Windows-1252) cannot hold\n"},
    };
#ifndef _WIN32
    // Windows holds no backslash in a file name.
    cases.push_back({"bad\\name.txt",
                     "kelmora-hpi: 'bad\\name.txt': cannot be an archive entry: the name contains "
                     "'\\'\n"});
#endif
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.name);
        TempDir dir;
        WriteFile(dir / "old.ufo", "old archive");
        WriteFile(dir / "tree" / testing::PathFromUtf8(bad.name), "");
        Outcome pack =
            Tool({"pack", testing::HostText(dir / "tree"), testing::HostText(dir / "old.ufo")});
        EXPECT_EQ(pack.status, 1);
        EXPECT_EQ(pack.err, bad.error);
        EXPECT_EQ(ReadFile(dir / "old.ufo"), "old archive");
    }
}

// Paths are the system's own: another letter case is another file, and an archive extracted into
// a folder with a sibling in another case goes where it was told.
TEST_F(HpiToolTest, TakesItsPathsLiterally) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows folder holds one file per name whatever its letter case";
#endif
    WriteFile(dir_ / "tree" / "a.txt", "a");
    WriteFile(Path("rt.ufo"), "an unrelated archive");
    Outcome pack = Tool({"pack", Path("tree"), Path("RT.UFO")});
    EXPECT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(ReadFile(dir_ / "rt.ufo"), "an unrelated archive");
    EXPECT_EQ(Tool({"list", Path("RT.UFO")}).out, "F\ta.txt\t1\tzlib\n");
    EXPECT_EQ(Tool({"list", Path("Rt.ufo")}).status, 1);

    fs::create_directories(dir_ / "out");
    Outcome extract = Tool({"extract", Path("RT.UFO"), Path("OUT")});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadFile(dir_ / "OUT" / "a.txt"), "a");
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));
}

}  // namespace
}  // namespace kelmora
