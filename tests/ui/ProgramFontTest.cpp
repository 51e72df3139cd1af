// SPDX-License-Identifier: GPL-3.0-or-later
// Every window's texts fit in the font the program picks, with the fonts this machine offers:
// ctest runs it once with the machine's fonts and once each with the fonts of a desktop that
// lacks Liberation Sans (KELMORA_FONT_SET names the set, FONTCONFIG_FILE offers only its fonts).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QRadioButton>
#include <cstdlib>
#include <string>

#include "support/GameFolder.h"
#include "support/WindowChecks.h"
#include "ui/ControlPanelWindow.h"
#include "ui/HelpWindow.h"
#include "ui/InstallProgressWindow.h"
#include "ui/InstallerWindow.h"
#include "ui/ReleaseNotesDialog.h"
#include "ui/WindowStyle.h"

namespace kelmora {
namespace {

struct FontSet {
    std::string name;
    QString family;       // the family the program is to pick
    std::string noteEnd;  // how its note on standard error ends; empty for no note
};

FontSet ThisFontSet() {
    const char* set = std::getenv("KELMORA_FONT_SET");
    const std::string name = set ? set : "machine";
    if (name == "arimo") return {name, "Arimo", "using Arimo, which has the same measures."};
    if (name == "no-arial-metrics")
        return {name, "DejaVu Sans", "using DejaVu Sans a size smaller."};
    return {name, "Liberation Sans", ""};
}

TEST(ProgramFontTest, TheClosestFontInstalledIsPickedAndAnyStandInIsNamed) {
    const FontSet set = ThisFontSet();
    if (set.name == "arimo" && !QFontDatabase::hasFamily(QStringLiteral("Arimo"))) {
        GTEST_SKIP() << "Arimo is not installed (fonts-croscore)";
    }
    EXPECT_EQ(QFontInfo(QApplication::font()).family(), set.family);
    const std::string note = ProgramFontNote();
    if (set.noteEnd.empty()) {
        EXPECT_EQ(note, "");
    } else {
        EXPECT_TRUE(
            note.starts_with("kelmora-installer: the font Liberation Sans is not installed "
                             "(Debian package fonts-liberation); "))
            << note;
        EXPECT_TRUE(note.ends_with(set.noteEnd)) << note;
    }
}

TEST(ProgramFontTest, NoTextOfAnyWindowClips) {
    InstallerState state;
    InstallerWindow mainWindow(state);
    EXPECT_EQ(testing::ClippedTexts(&mainWindow), QStringList());

    ReleaseNotesDialog releaseNotes(&mainWindow);
    EXPECT_EQ(testing::ClippedTexts(&releaseNotes), QStringList());

    HelpWindow help(&mainWindow);
    for (int problem = 0; problem < kProblemCount; ++problem) {
        help.findChild<QRadioButton*>(QStringLiteral("problemButton_%1").arg(problem))
            ->setChecked(true);
        EXPECT_EQ(testing::ClippedTexts(&help), QStringList()) << "resolution " << problem;
    }

    testing::GameFolder game;
    ControlPanelWindow disablePanel(game.folderText());
    EXPECT_EQ(testing::ClippedTexts(&disablePanel), QStringList());
    game.MakeDisabled();
    ControlPanelWindow enablePanel(game.folderText());
    EXPECT_EQ(testing::ClippedTexts(&enablePanel), QStringList());

    InstallProgressWindow installWindow(state, &mainWindow);
    EXPECT_EQ(testing::ClippedTexts(&installWindow), QStringList());
    installWindow.SetAction("Extracting data from c:\\cavedog\\totala\\rev31.gp3...");
    installWindow.SetPercentText("100%");
    EXPECT_EQ(testing::ClippedTexts(&installWindow), QStringList());
}

}  // namespace
}  // namespace kelmora
