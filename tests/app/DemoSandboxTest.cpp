// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/DemoSandbox.h"
#include "core/GameFolderLookup.h"
#include "platform/FileSystemObject.h"
#include "platform/PathMapping.h"
#include "support/FakeMachine.h"
#include "support/TempDir.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::HostText;

// What the windows open on after --demo: the registry names the sandbox's game folder (on
// Windows through a key of the user's own, which needs no link and no right to write the
// machine's registry), and the current folder holds its package.
TEST(DemoSandboxTest, EnteringItPointsTheRegistryAndTheCurrentFolderAtItsGameAndPackage) {
    // Puts the registry and WINEPREFIX back afterwards.
    const testing::FakeMachine machine;
    const testing::TempDir root;
    const testing::ScopedCurrentDir here(root.path());
    const fs::path folder = root.path() / testing::PathFromUtf8("D\xC3\xA9j\xC3\xA0 vu");

    ::testing::internal::CaptureStderr();
    EnterDemoSandbox(HostText(folder));
    const std::string told = ::testing::internal::GetCapturedStderr();

    const DemoSandbox demo = BuildDemoSandbox(folder);
    EXPECT_EQ(ReadRegistryText(kGameUninstallKey, kGameFolderValue), demo.gameFolderText);
    const std::string game = FullPathText(demo.gameFolderText);
    EXPECT_EQ(FileSystemObject().GetFile(JoinPath(game, "\\rev31.gp3")).Size(), 5481280u);
    EXPECT_EQ(CurrentFolderText(), HostText(demo.packageFolder));
    EXPECT_TRUE(fs::exists(demo.packageFolder / "KELMORA.UFO"));
    EXPECT_NE(told.find("game folder " + demo.gameFolderText), std::string::npos) << told;
}

}  // namespace
}  // namespace kelmora
