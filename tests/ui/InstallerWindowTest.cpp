// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <map>

#include "ModalWindows.h"
#include "core/InstallerState.h"
#include "platform/PathMapping.h"
#include "support/FakeGamePrefix.h"
#include "support/ScriptedMessageBox.h"
#include "support/WindowChecks.h"
#include "ui/InstallerWindow.h"

namespace kelmora {
namespace {

namespace fs = std::filesystem;
using testing::FakeWinePrefix;
using testing::MakeFiles;
using testing::WhenModalShows;

// Every file under `root` with its size: what "touches no file" is checked against.
std::map<std::string, std::uintmax_t> FilesUnder(const fs::path& root) {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files[entry.path().string()] = entry.is_regular_file() ? entry.file_size() : 0;
    }
    return files;
}

void AnswerReleaseNotes(const char* button) {
    WhenModalShows([button](QWidget* notes) {
        ASSERT_EQ(notes->windowTitle(), "Orvald's Kelmora Release Notes");
        QTest::mouseClick(notes->findChild<QPushButton*>(button), Qt::LeftButton);
    });
}

// The Windows build's main window is worked under Wine by tests/x11 (scripts/test-windows).
class InstallerWindowTest : public ::testing::Test {
protected:
    InstallerWindowTest() {
        MakeFiles(GameFolder(), {"TOTALA1.HPI", "ccdata.ccx", "Rev31.gp3"});
        MakeFiles(Downloads(), {"Kelmora.UFO"});
    }
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << testing::kNoWinePrefixes;
#endif
    }

    fs::path GameFolder() const { return prefix_.DriveC() / "Cavedog" / "TotalA"; }
    // A second copy of the game: the search finds no single folder to offer.
    void CopyTheGame() const {
        MakeFiles(prefix_.DriveC() / "Games" / "TA", {"totala1.hpi", "ccdata.ccx", "rev31.gp3"});
    }
    fs::path Downloads() const { return prefix_.Root() / "Downloads"; }

    // A main window loaded with the current folder `current`, shown and active.
    std::unique_ptr<InstallerWindow> LoadedIn(const fs::path& current) {
        inFolder_.emplace(current);
        auto window = std::make_unique<InstallerWindow>(state_);
        loaded_ = window->Load();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return window;
    }

    // Whether `step` ends the program. Once the release notes are accepted the install takes over;
    // these tests only need the program to end there.
    template <typename Step>
    static bool EndsTheProgram(Step step) {
        try {
            step();
        } catch (const ProgramEnded&) {
            return true;
        }
        return false;
    }

    // Runs `step`, which must end the program, and returns the status it ended with.
    template <typename Step>
    int EndStatusOf(Step step) {
        try {
            step();
        } catch (const ProgramEnded& end) {
            return end.status;
        }
        ADD_FAILURE() << "the program went on";
        return -1;
    }

    template <typename Control>
    static Control* Find(const QWidget& window, const char* name) {
        auto* control = window.findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    FakeWinePrefix prefix_;
    InstallerState state_;
    testing::ScriptedMessageBox messages_;
    testing::CatchProgramEndInDialogs catchEnd_;
    std::optional<testing::ScopedCurrentDir> inFolder_;
    bool loaded_ = false;
};

TEST_F(InstallerWindowTest, ShowsEveryControlAsDesigned) {
    auto window = LoadedIn(Downloads());

    EXPECT_EQ(window->windowTitle(), "Orvald's Kelmora Installation Program");
    EXPECT_EQ(window->size(), QSize(328, 248));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);

    struct Expected {
        const char* name;
        QString text;
        QRect geometry;
    };
    const Expected labels[] = {
        {"welcomeLabel",
         "Welcome to Orvald's Kelmora Installation program.  This program will install Orvald's "
         "Kelmora onto your hard drive.  Please note that Orvald's Kelmora requires Total "
         "Annihilation: The Core Contingency and the version 3.1c patch in order to run.  Also "
         "note that Orvald's Kelmora may not be installed over any other rev31.gp3 modifications.",
         {80, 8, 241, 113}},
        {"gameFolderCaption", "Location of Total Annihilation folder:", {8, 120, 313, 17}},
        {"packageFolderCaption", "Location of KELMORA.UFO:", {8, 168, 313, 17}},
    };
    for (const Expected& label : labels) {
        EXPECT_EQ(Find<QLabel>(*window, label.name)->text(), label.text) << label.name;
        EXPECT_EQ(Find<QLabel>(*window, label.name)->geometry(), label.geometry) << label.name;
    }
    const Expected buttons[] = {
        {"findGameFolderButton", "TA Directory", {240, 136, 81, 18}},
        {"okButton", "OK", {64, 216, 81, 25}},
        {"cancelButton", "Cancel", {152, 216, 81, 25}},
        {"helpButton", "Help", {240, 216, 81, 25}},
    };
    for (const Expected& button : buttons) {
        EXPECT_EQ(Find<QPushButton>(*window, button.name)->text(), button.text) << button.name;
        EXPECT_EQ(Find<QPushButton>(*window, button.name)->geometry(), button.geometry)
            << button.name;
    }
    EXPECT_EQ(Find<QLineEdit>(*window, "gameFolderField")->geometry(), QRect(8, 136, 225, 18));
    EXPECT_EQ(Find<QLineEdit>(*window, "packageFolderField")->geometry(), QRect(8, 184, 313, 19));
    const QLabel* image = Find<QLabel>(*window, "emblem");
    EXPECT_EQ(image->geometry(), QRect(8, 8, 64, 64));
    EXPECT_EQ(image->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(testing::ClippedTexts(window.get()), QStringList());
}

TEST_F(InstallerWindowTest, LoadShowsTheRegistryFolderAsStoredAndEnablesOkWhenEveryFileIsThere) {
    prefix_.WriteGameFolder("C:\\CaveDog\\TOTALA\\");
    auto window = LoadedIn(Downloads());

    EXPECT_TRUE(loaded_);
    EXPECT_EQ(Find<QLineEdit>(*window, "gameFolderField")->text(), "C:\\CaveDog\\TOTALA\\");
    EXPECT_EQ(Find<QLineEdit>(*window, "packageFolderField")->text(),
              QString::fromStdString(CurrentFolderText()));
    EXPECT_TRUE(Find<QPushButton>(*window, "findGameFolderButton")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(*window, "okButton")->isEnabled());
}

TEST_F(InstallerWindowTest,
       WithoutAUsableRegistryFolderTheFieldIsBlankAndTaDirectoryStaysDisabled) {
    CopyTheGame();
    for (const std::string& values :
         {std::string(), std::string("\"Other\"=\"C:\\\\Cavedog\\\\TotalA\""),
          std::string("\"Dir\"=dword:00000001"), std::string("\"Dir\"=\"\""),
          std::string("\"Dir\"=str(2):\"C:\\\\Cavedog\\\\TotalA\"")}) {
        prefix_.WriteGameKey(values);
        auto window = LoadedIn(Downloads());
        auto* gameField = Find<QLineEdit>(*window, "gameFolderField");
        EXPECT_EQ(gameField->text(), "") << values;
        EXPECT_FALSE(Find<QPushButton>(*window, "findGameFolderButton")->isEnabled()) << values;

        prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
        gameField->setText("C:\\Cavedog\\TotalA");
        EXPECT_TRUE(Find<QPushButton>(*window, "okButton")->isEnabled()) << values;
        EXPECT_FALSE(Find<QPushButton>(*window, "findGameFolderButton")->isEnabled()) << values;
        inFolder_.reset();
    }
}

TEST_F(InstallerWindowTest, WithoutARegistryFolderTheOnlyGameFolderFoundFillsTheField) {
    prefix_.WriteGameKey("");
    auto window = LoadedIn(Downloads());
    auto* gameField = Find<QLineEdit>(*window, "gameFolderField");
    auto* findGameFolder = Find<QPushButton>(*window, "findGameFolderButton");
    const QString found = QString::fromStdString(fs::canonical(GameFolder()).string());
    EXPECT_EQ(gameField->text(), found);
    EXPECT_TRUE(Find<QPushButton>(*window, "okButton")->isEnabled());
    ASSERT_TRUE(findGameFolder->isEnabled());
    EXPECT_EQ(findGameFolder->toolTip(), "Found: " + found);

    gameField->clear();
    QTest::mouseClick(findGameFolder, Qt::LeftButton);
    EXPECT_EQ(gameField->text(), found);
    // The registry, once it names a folder, still comes first.
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    QTest::mouseClick(findGameFolder, Qt::LeftButton);
    EXPECT_EQ(gameField->text(), "C:\\Cavedog\\TotalA");
}

TEST_F(InstallerWindowTest, StartedInTheGameFolderWithoutRegistryOkStoresTheCurrentFolder) {
    MakeFiles(GameFolder(), {"KELMORA.UFO"});
    CopyTheGame();
    auto window = LoadedIn(GameFolder());
    ASSERT_EQ(Find<QLineEdit>(*window, "gameFolderField")->text(), "");
    ASSERT_TRUE(Find<QPushButton>(*window, "okButton")->isEnabled());

    AnswerReleaseNotes("yesButton");
    EXPECT_TRUE(EndsTheProgram(
        [&] { QTest::mouseClick(Find<QPushButton>(*window, "okButton"), Qt::LeftButton); }));

    EXPECT_EQ(state_.gameFolder, CurrentFolderText());
    EXPECT_EQ(state_.packageFolder, CurrentFolderText());
}

// Kept as spelled: in lower case, the game folder could name a sibling that differs only in case.
TEST_F(InstallerWindowTest, OkStoresTheListsFoldersAsSpelled) {
    prefix_.WriteGameFolder("C:\\CAVEDOG\\TotalA");
    auto window = LoadedIn(Downloads());
    Find<QLineEdit>(*window, "packageFolderField")
        ->setText(QString::fromStdString(Downloads().string() + "/ "));

    AnswerReleaseNotes("yesButton");
    EXPECT_TRUE(EndsTheProgram([&] { QTest::keyClick(window.get(), Qt::Key_Return); }));

    EXPECT_EQ(state_.gameFolder, "C:\\CAVEDOG\\TotalA");
    EXPECT_EQ(state_.packageFolder, Downloads().string());
}

TEST_F(InstallerWindowTest, NoToTheReleaseNotesEndsTheProgramWithoutTouchingAFile) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto window = LoadedIn(Downloads());
    const auto before = FilesUnder(prefix_.Root());

    AnswerReleaseNotes("noButton");
    EXPECT_EQ(EndStatusOf([&] {
                  QTest::mouseClick(Find<QPushButton>(*window, "okButton"), Qt::LeftButton);
              }),
              0);

    EXPECT_EQ(FilesUnder(prefix_.Root()), before);
    EXPECT_TRUE(messages_.shown.empty());
}

// Enter on another command button presses that one (tests/x11 checks every key of the window).
TEST_F(InstallerWindowTest, EnterPressesOkAndEscPressesCancelFromTheFieldsAndOk) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto window = LoadedIn(Downloads());
    for (const char* name : {"gameFolderField", "packageFolderField", "okButton"}) {
        QWidget* control = Find<QWidget>(*window, name);
        control->setFocus();
        int notesShown = 0;
        WhenModalShows([](QWidget* notes) { QTest::keyClick(notes, Qt::Key_Return); }, &notesShown);
        EXPECT_TRUE(EndsTheProgram([&] { QTest::keyClick(control, Qt::Key_Return); })) << name;
        EXPECT_EQ(notesShown, 1) << name;
        // The headless platform gives the activation back to no window when a modal one closes.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        EXPECT_EQ(EndStatusOf([&] { QTest::keyClick(control, Qt::Key_Escape); }), 0) << name;
    }
}

// Started from the desktop's menu, the current folder is the home folder: the package is looked
// for in the download folder too. A package given on the command line names its folder.
TEST_F(InstallerWindowTest, ThePackageFolderIsTheFirstOfTheCurrentAndTheDownloadFolderToHoldIt) {
    const fs::path home = prefix_.Root() / "home";
    const testing::ScopedEnv config("XDG_CONFIG_HOME", (home / ".config").string());
    MakeFiles(home / "Downloads", {"KELMORA.UFO"});
    const auto packageField = [this] {
        return Find<QLineEdit>(*LoadedIn(prefix_.Root() / "home"), "packageFolderField")->text();
    };
    EXPECT_EQ(packageField().toStdString(), (home / "Downloads").string());
    testing::WriteFile(home / ".config" / "user-dirs.dirs",
                       "XDG_DOWNLOAD_DIR=\"$HOME/Fichiers\"\n");
    EXPECT_EQ(packageField().toStdString(), home.string()) << "no package in the download folder";
    MakeFiles(home / "Fichiers", {"kelmora.ufo"});
    EXPECT_EQ(packageField().toStdString(), (home / "Fichiers").string());
    state_.packageFolder = Downloads().string();
    EXPECT_EQ(packageField().toStdString(), Downloads().string());
}

TEST_F(InstallerWindowTest, EnterDoesNothingWhileOkIsDisabled) {
    CopyTheGame();
    auto window = LoadedIn(Downloads());
    ASSERT_FALSE(Find<QPushButton>(*window, "okButton")->isEnabled());
    int notesShown = 0;
    WhenModalShows([](QWidget* notes) { QTest::keyClick(notes, Qt::Key_Return); }, &notesShown);

    QTest::keyClick(Find<QLineEdit>(*window, "packageFolderField"), Qt::Key_Return);
    QCoreApplication::processEvents();

    EXPECT_EQ(notesShown, 0);
}

TEST_F(InstallerWindowTest, TabFollowsTheTabIndexes) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto window = LoadedIn(Downloads());
    QStringList order;
    for (QWidget* widget : testing::TabChain(Find<QWidget>(*window, "gameFolderField"), 7)) {
        order << widget->objectName();
    }
    EXPECT_EQ(order,
              QStringList({"gameFolderField", "packageFolderField", "okButton", "cancelButton",
                           "findGameFolderButton", "helpButton", "gameFolderField"}));
}

TEST_F(InstallerWindowTest, TaDirectoryDiscardsAnEditWhenTheRegistryHoldsAFolder) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto window = LoadedIn(Downloads());
    auto* gameField = Find<QLineEdit>(*window, "gameFolderField");
    gameField->setText("C:\\elsewhere");
    ASSERT_FALSE(Find<QPushButton>(*window, "okButton")->isEnabled());

    QTest::mouseClick(Find<QPushButton>(*window, "findGameFolderButton"), Qt::LeftButton);

    EXPECT_EQ(gameField->text(), "C:\\Cavedog\\TotalA");
    EXPECT_TRUE(Find<QPushButton>(*window, "okButton")->isEnabled());
}

TEST_F(InstallerWindowTest, TabbingIntoAFieldOrDoubleClickingItSelectsAllItsText) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto window = LoadedIn(Downloads());
    auto* gameField = Find<QLineEdit>(*window, "gameFolderField");
    auto* packageField = Find<QLineEdit>(*window, "packageFolderField");
    gameField->setFocus();
    gameField->deselect();

    QTest::keyClick(gameField, Qt::Key_Tab);
    EXPECT_EQ(packageField->selectedText(), packageField->text());

    QTest::mouseDClick(gameField, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(gameField->selectedText(), "C:\\Cavedog\\TotalA");
    QTest::keyClicks(gameField, "D:\\TA");
    EXPECT_EQ(gameField->text(), "D:\\TA");
}

TEST_F(InstallerWindowTest, HelpOpensModallyAndStartsWithNoProblemPickedEachTime) {
    auto window = LoadedIn(Downloads());
    auto* help = Find<QPushButton>(*window, "helpButton");
    for (int opening = 0; opening < 2; ++opening) {
        int shown = 0;
        WhenModalShows(
            [](QWidget* window) {
                EXPECT_EQ(window->windowTitle(), "Installation Help");
                for (const QRadioButton* option : window->findChildren<QRadioButton*>()) {
                    EXPECT_FALSE(option->isChecked()) << option->objectName().toStdString();
                }
                EXPECT_EQ(window->findChild<QLabel*>("resolutionLabel")->text(), "");
                QTest::mouseClick(window->findChild<QRadioButton*>("problemButton_2"),
                                  Qt::LeftButton);
                QTest::keyClick(window, Qt::Key_Escape);
            },
            &shown);
        QTest::mouseClick(help, Qt::LeftButton);
        EXPECT_EQ(shown, 1);
    }
    EXPECT_TRUE(window->isVisible());
}

TEST_F(InstallerWindowTest, CancelAndTheCloseBoxEndTheProgram) {
    auto window = LoadedIn(Downloads());
    EXPECT_EQ(EndStatusOf([&] {
                  QTest::mouseClick(Find<QPushButton>(*window, "cancelButton"), Qt::LeftButton);
              }),
              0);
    EXPECT_EQ(EndStatusOf([&] { window->close(); }), 0);
}

}  // namespace
}  // namespace kelmora
