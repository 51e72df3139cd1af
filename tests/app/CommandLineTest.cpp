// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "platform/PathMapping.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;
using Mode = CommandLine::Mode;

// The text of the usage error `arguments` raise, or "<accepted>".
std::string UsageErrorOf(const Arguments& arguments) {
    try {
        ParseCommandLine(arguments);
    } catch (const UsageError& error) {
        return error.text;
    }
    return "<accepted>";
}

TEST(CommandLineTest, ValuesFollowTheirOptionOrAnEqualsSignAndTheLastOneCounts) {
    const CommandLine line =
        ParseCommandLine({"--unattended", "--game-dir", "C:\\TA", "--package-dir=/home/ann/dl",
                          "--action=disable", "--game-dir=-odd", "--"});
    EXPECT_EQ(line.mode, Mode::kUnattended);
    EXPECT_EQ(line.gameDir, "-odd");
    EXPECT_EQ(line.packageDir, "/home/ann/dl");
    EXPECT_EQ(line.action, "disable");
    EXPECT_TRUE(line.qtOptions.empty());

    EXPECT_EQ(ParseCommandLine({"--demo"}).demoDir, std::nullopt);
    EXPECT_EQ(ParseCommandLine({"--demo", "/tmp/d"}).demoDir, "/tmp/d");
    EXPECT_EQ(ParseCommandLine({"--find-game"}).mode, Mode::kFindGame);
    EXPECT_EQ(ParseCommandLine({}).mode, Mode::kWindows);
    // Help wins wherever it stands, even on a line that would be refused.
    EXPECT_EQ(ParseCommandLine({"--unattended", "--help"}).mode, Mode::kHelp);
    EXPECT_EQ(ParseCommandLine({"--game-dir", "x", "-h"}).mode, Mode::kHelp);
    EXPECT_EQ(ParseCommandLine({"--version"}).mode, Mode::kVersion);
}

TEST(CommandLineTest, QtsOwnOptionsGoToQtInOrderAndOnlyForTheWindows) {
    EXPECT_EQ(ParseCommandLine({"-platform", "offscreen", "-style=windows", "-reverse"}).qtOptions,
              (Arguments{"-platform", "offscreen", "-style=windows", "-reverse"}));
    const CommandLine demo = ParseCommandLine({"--demo", "-style", "fusion"});
    EXPECT_EQ(demo.mode, Mode::kDemo);
    EXPECT_EQ(demo.qtOptions, (Arguments{"-style", "fusion"}));
    EXPECT_EQ(UsageErrorOf({"--unattended", "-style", "fusion"}),
              "Qt's option -style is for the windows only");
    EXPECT_EQ(UsageErrorOf({"-platform"}), "-platform needs a value");
}

// A file manager opens KELMORA.UFO with the windows; after "--" a name may start with a dash.
TEST(CommandLineTest, TheWindowsTakeOnePackageFileWhoseFolderIsThePackageFolder) {
    EXPECT_EQ(ParseCommandLine({"-style", "fusion", "d/KELMORA.UFO"}).packageFile, "d/KELMORA.UFO");
    EXPECT_EQ(ParseCommandLine({"--", "-odd.ufo"}).packageFile, "-odd.ufo");
    EXPECT_EQ(UsageErrorOf({"a.ufo", "b.ufo"}), "unexpected argument 'b.ufo'");
    EXPECT_EQ(UsageErrorOf({"--unattended", "install"}), "unexpected argument 'install'");
    const testing::TempDir downloads;
    testing::WriteFile(downloads / "KELMORA.UFO", "");
    const std::vector<std::string> offscreen{"-platform", "offscreen"};
    for (const fs::path& given : {downloads / "KELMORA.UFO", downloads.path()}) {
        std::vector<std::string> arguments = offscreen;
        arguments.push_back(testing::HostText(given));
        EXPECT_EQ(RunCommandLine(arguments).packageFolder,
                  FullPathText(testing::HostText(downloads.path())));
    }
    EXPECT_EQ(RunCommandLine({"-platform", "offscreen", testing::HostText(downloads / "gone.ufo")})
                  .exitStatus,
              1);
}

TEST(CommandLineTest, EachUsageErrorNamesWhatIsWrong) {
    EXPECT_EQ(UsageErrorOf({"--force"}), "unknown option '--force'");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--action", "repair"}),
              "--action: unknown action 'repair' (install, uninstall, disable or enable)");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--game-dir", ""}), "--game-dir: an empty folder name");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--game-dir="}), "--game-dir needs a value");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--action"}), "--action needs a value");
    EXPECT_EQ(UsageErrorOf({"--game-dir", "x"}), "--game-dir works only with --unattended");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--demo"}), "--unattended cannot be used with --demo");
    EXPECT_EQ(UsageErrorOf({"--unattended=no"}), "--unattended takes no value");
}

#ifndef _WIN32
TEST(CommandLineTest, TheWindowsNeedADisplayOnlyOnPlatformsThatUseOne) {
    testing::ScopedEnv noX11("DISPLAY", "");
    testing::ScopedEnv noWayland("WAYLAND_DISPLAY", "");
    testing::ScopedEnv defaultPlatform("QT_QPA_PLATFORM", "");
    const std::optional<std::string> why = MissingDisplay({});
    ASSERT_TRUE(why.has_value());
    EXPECT_EQ(why->find('\n'), std::string::npos);
    EXPECT_NE(why->find("--unattended"), std::string::npos);
    EXPECT_TRUE(MissingDisplay({"-platform", "wayland;xcb"}).has_value());
    EXPECT_FALSE(MissingDisplay({"-platform", "offscreen"}).has_value());
    testing::ScopedEnv offscreen("QT_QPA_PLATFORM", "xcb;offscreen");
    EXPECT_FALSE(MissingDisplay({}).has_value());
    EXPECT_TRUE(MissingDisplay({"-platform", "xcb:nograb"}).has_value());
    testing::ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_FALSE(MissingDisplay({"-platform", "wayland"}).has_value());
}
#endif

}  // namespace
}  // namespace kelmora
