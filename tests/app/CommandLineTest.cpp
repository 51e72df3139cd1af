// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {

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
    // After "--" nothing is an option, and the program takes nothing else.
    EXPECT_EQ(UsageErrorOf({"--", "-reverse"}), "unexpected argument '-reverse'");
}

TEST(CommandLineTest, EachUsageErrorNamesWhatIsWrong) {
    EXPECT_EQ(UsageErrorOf({"--force"}), "unknown option '--force'");
    EXPECT_EQ(UsageErrorOf({"install"}), "unexpected argument 'install'");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--action", "repair"}),
              "--action: unknown action 'repair' (install, uninstall, disable or enable)");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--game-dir", ""}), "--game-dir: an empty folder name");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--game-dir="}), "--game-dir: 1 required DIR missing");
    EXPECT_EQ(UsageErrorOf({"--unattended", "--action"}), "--action: 1 required ACTION missing");
    EXPECT_EQ(UsageErrorOf({"--game-dir", "x"}), "--game-dir requires --unattended");
    EXPECT_NE(UsageErrorOf({"--unattended", "--demo"}).find("excludes"), std::string::npos);
    EXPECT_NE(UsageErrorOf({"--unattended=no"}).find("unattended"), std::string::npos);
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
