#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <map>

#include "FakeWinePrefix.h"
#include "ModalWindows.h"
#include "app/Form1.h"
#include "app/Globals.h"
#include "platform/Folders.h"
#include "platform/PathMapping.h"
#include "support/FormChecks.h"
#include "support/ScriptedMessageBox.h"

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

class Form1Test : public ::testing::Test {
protected:
    Form1Test() {
        MakeFiles(GameFolder(), {"TOTALA1.HPI", "ccdata.ccx", "Rev31.gp3"});
        MakeFiles(Downloads(), {"Kelmora.UFO"});
    }

    fs::path GameFolder() const { return prefix_.DriveC() / "Cavedog" / "TotalA"; }
    fs::path Downloads() const { return prefix_.Root() / "Downloads"; }

    // A main window loaded with the current folder `current`, shown and active.
    std::unique_ptr<Form1> LoadedIn(const fs::path& current) {
        inFolder_.emplace(current);
        auto form = std::make_unique<Form1>();
        loaded_ = form->Load();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
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
    static Control* Find(const QWidget& form, const char* name) {
        auto* control = form.findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    FakeWinePrefix prefix_;
    testing::ScriptedMessageBox messages_;
    testing::CatchProgramEndInDialogs catchEnd_;
    std::optional<testing::ScopedCurrentDir> inFolder_;
    bool loaded_ = false;
};

TEST_F(Form1Test, ShowsEveryControlAsDesigned) {
    auto form = LoadedIn(Downloads());

    EXPECT_EQ(form->windowTitle(), "Orvald's Kelmora Installation Program");
    EXPECT_EQ(form->size(), QSize(328, 248));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);

    struct Expected {
        const char* name;
        QString text;
        QRect geometry;
    };
    const Expected labels[] = {
        {"Label1",
         "Welcome to Orvald's Kelmora Installation program.  This program will install Orvald's "
         "Kelmora onto your hard drive.  Please note that Orvald's Kelmora requires Total "
         "Annihilation: The Core Contingency and the version 3.1c patch in order to run.  Also "
         "note that Orvald's Kelmora may not be installed over any other rev31.gp3 modifications.",
         {80, 8, 241, 113}},
        {"Label2", "Location of Total Annihilation folder:", {8, 120, 313, 17}},
        {"Label3", "Location of KELMORA.UFO:", {8, 168, 313, 17}},
    };
    for (const Expected& label : labels) {
        EXPECT_EQ(Find<QLabel>(*form, label.name)->text(), label.text) << label.name;
        EXPECT_EQ(Find<QLabel>(*form, label.name)->geometry(), label.geometry) << label.name;
    }
    const Expected buttons[] = {
        {"Command3", "TA Directory", {240, 136, 81, 18}},
        {"Command1", "OK", {64, 216, 81, 25}},
        {"Command2", "Cancel", {152, 216, 81, 25}},
        {"Command4", "Help", {240, 216, 81, 25}},
    };
    for (const Expected& button : buttons) {
        EXPECT_EQ(Find<QPushButton>(*form, button.name)->text(), button.text) << button.name;
        EXPECT_EQ(Find<QPushButton>(*form, button.name)->geometry(), button.geometry)
            << button.name;
    }
    EXPECT_EQ(Find<QLineEdit>(*form, "Text1")->geometry(), QRect(8, 136, 225, 18));
    EXPECT_EQ(Find<QLineEdit>(*form, "Text2")->geometry(), QRect(8, 184, 313, 19));
    const QLabel* image = Find<QLabel>(*form, "Image1");
    EXPECT_EQ(image->geometry(), QRect(8, 8, 64, 64));
    EXPECT_EQ(image->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(testing::ClippedTexts(form.get()), QStringList());
}

TEST_F(Form1Test, LoadShowsTheRegistryFolderAsStoredAndEnablesOkWhenEveryFileIsThere) {
    prefix_.WriteGameFolder("C:\\CaveDog\\TOTALA\\");
    auto form = LoadedIn(Downloads());

    EXPECT_TRUE(loaded_);
    EXPECT_EQ(Find<QLineEdit>(*form, "Text1")->text(), "C:\\CaveDog\\TOTALA\\");
    EXPECT_EQ(Find<QLineEdit>(*form, "Text2")->text(), QString::fromStdString(CurDir()));
    EXPECT_TRUE(Find<QPushButton>(*form, "Command3")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(*form, "Command1")->isEnabled());
}

TEST_F(Form1Test, WithoutAUsableRegistryFolderTheFieldIsBlankAndTaDirectoryStaysDisabled) {
    for (const std::string& values :
         {std::string(), std::string("\"Other\"=\"C:\\\\Cavedog\\\\TotalA\""),
          std::string("\"Dir\"=dword:00000001"), std::string("\"Dir\"=\"\""),
          std::string("\"Dir\"=str(2):\"C:\\\\Cavedog\\\\TotalA\"")}) {
        prefix_.WriteGameKey(values);
        auto form = LoadedIn(Downloads());
        auto* text1 = Find<QLineEdit>(*form, "Text1");
        EXPECT_EQ(text1->text(), "") << values;
        EXPECT_FALSE(Find<QPushButton>(*form, "Command3")->isEnabled()) << values;

        prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
        text1->setText("C:\\Cavedog\\TotalA");
        EXPECT_TRUE(Find<QPushButton>(*form, "Command1")->isEnabled()) << values;
        EXPECT_FALSE(Find<QPushButton>(*form, "Command3")->isEnabled()) << values;
        inFolder_.reset();
    }
}

TEST_F(Form1Test, StartedInTheGameFolderWithoutRegistryOkStoresTheCurrentFolder) {
    MakeFiles(GameFolder(), {"KELMORA.UFO"});
    auto form = LoadedIn(GameFolder());
    ASSERT_EQ(Find<QLineEdit>(*form, "Text1")->text(), "");
    ASSERT_TRUE(Find<QPushButton>(*form, "Command1")->isEnabled());

    AnswerReleaseNotes("Command1");
    EXPECT_TRUE(EndsTheProgram(
        [&] { QTest::mouseClick(Find<QPushButton>(*form, "Command1"), Qt::LeftButton); }));

    EXPECT_EQ(TADir, LowerCase(CurrentFolderText()));
    EXPECT_EQ(UfoDir, LowerCase(CurrentFolderText()));
}

TEST_F(Form1Test, OkStoresTheListsFoldersInLowerCase) {
    prefix_.WriteGameFolder("C:\\CAVEDOG\\TotalA");
    auto form = LoadedIn(Downloads());
    Find<QLineEdit>(*form, "Text2")->setText(QString::fromStdString(Downloads().string() + "/ "));

    AnswerReleaseNotes("Command1");
    EXPECT_TRUE(EndsTheProgram([&] { QTest::keyClick(form.get(), Qt::Key_Return); }));

    EXPECT_EQ(TADir, "c:\\cavedog\\totala");
    EXPECT_EQ(UfoDir, LowerCase(Downloads().string()));
}

TEST_F(Form1Test, NoToTheReleaseNotesEndsTheProgramWithoutTouchingAFile) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto form = LoadedIn(Downloads());
    const auto before = FilesUnder(prefix_.Root());

    AnswerReleaseNotes("Command2");
    EXPECT_EQ(EndStatusOf(
                  [&] { QTest::mouseClick(Find<QPushButton>(*form, "Command1"), Qt::LeftButton); }),
              0);

    EXPECT_EQ(FilesUnder(prefix_.Root()), before);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(Form1Test, EnterPressesOkAndEscPressesCancelWhereverTheFocusIs) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto form = LoadedIn(Downloads());
    for (const char* name : {"Text1", "Text2", "Command1", "Command2", "Command3", "Command4"}) {
        QWidget* control = Find<QWidget>(*form, name);
        control->setFocus();
        int notesShown = 0;
        WhenModalShows([](QWidget* notes) { QTest::keyClick(notes, Qt::Key_Return); }, &notesShown);
        EXPECT_TRUE(EndsTheProgram([&] { QTest::keyClick(control, Qt::Key_Return); })) << name;
        EXPECT_EQ(notesShown, 1) << name;
        // The headless platform gives the activation back to no window when a modal one closes.
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        EXPECT_EQ(EndStatusOf([&] { QTest::keyClick(control, Qt::Key_Escape); }), 0) << name;
    }
}

TEST_F(Form1Test, EnterDoesNothingWhileOkIsDisabled) {
    auto form = LoadedIn(Downloads());
    ASSERT_FALSE(Find<QPushButton>(*form, "Command1")->isEnabled());
    int notesShown = 0;
    WhenModalShows([](QWidget* notes) { QTest::keyClick(notes, Qt::Key_Return); }, &notesShown);

    QTest::keyClick(Find<QLineEdit>(*form, "Text2"), Qt::Key_Return);
    QCoreApplication::processEvents();

    EXPECT_EQ(notesShown, 0);
}

TEST_F(Form1Test, TabFollowsTheTabIndexes) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto form = LoadedIn(Downloads());
    QStringList order;
    for (QWidget* widget : testing::TabChain(Find<QWidget>(*form, "Text1"), 7)) {
        order << widget->objectName();
    }
    EXPECT_EQ(order, QStringList({"Text1", "Text2", "Command1", "Command2", "Command3", "Command4",
                                  "Text1"}));
}

TEST_F(Form1Test, TaDirectoryDiscardsAnEditWhenTheRegistryHoldsAFolder) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto form = LoadedIn(Downloads());
    auto* text1 = Find<QLineEdit>(*form, "Text1");
    text1->setText("C:\\elsewhere");
    ASSERT_FALSE(Find<QPushButton>(*form, "Command1")->isEnabled());

    QTest::mouseClick(Find<QPushButton>(*form, "Command3"), Qt::LeftButton);

    EXPECT_EQ(text1->text(), "C:\\Cavedog\\TotalA");
    EXPECT_TRUE(Find<QPushButton>(*form, "Command1")->isEnabled());
}

TEST_F(Form1Test, TabbingIntoAFieldOrDoubleClickingItSelectsAllItsText) {
    prefix_.WriteGameFolder("C:\\Cavedog\\TotalA");
    auto form = LoadedIn(Downloads());
    auto* text1 = Find<QLineEdit>(*form, "Text1");
    auto* text2 = Find<QLineEdit>(*form, "Text2");
    text1->setFocus();
    text1->deselect();

    QTest::keyClick(text1, Qt::Key_Tab);
    EXPECT_EQ(text2->selectedText(), text2->text());

    QTest::mouseDClick(text1, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(text1->selectedText(), "C:\\Cavedog\\TotalA");
    QTest::keyClicks(text1, "D:\\TA");
    EXPECT_EQ(text1->text(), "D:\\TA");
}

TEST_F(Form1Test, HelpOpensModallyAndStartsWithNoProblemPickedEachTime) {
    auto form = LoadedIn(Downloads());
    auto* help = Find<QPushButton>(*form, "Command4");
    for (int opening = 0; opening < 2; ++opening) {
        int shown = 0;
        WhenModalShows(
            [](QWidget* window) {
                EXPECT_EQ(window->windowTitle(), "Installation Help");
                for (const QRadioButton* option : window->findChildren<QRadioButton*>()) {
                    EXPECT_FALSE(option->isChecked()) << option->objectName().toStdString();
                }
                EXPECT_EQ(window->findChild<QLabel*>("Label2")->text(), "");
                QTest::mouseClick(window->findChild<QRadioButton*>("Option1_2"), Qt::LeftButton);
                QTest::keyClick(window, Qt::Key_Escape);
            },
            &shown);
        QTest::mouseClick(help, Qt::LeftButton);
        EXPECT_EQ(shown, 1);
    }
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Form1Test, CancelAndTheCloseBoxEndTheProgram) {
    auto form = LoadedIn(Downloads());
    EXPECT_EQ(EndStatusOf(
                  [&] { QTest::mouseClick(Find<QPushButton>(*form, "Command2"), Qt::LeftButton); }),
              0);
    EXPECT_EQ(EndStatusOf([&] { form->close(); }), 0);
}

}  // namespace
}  // namespace kelmora
