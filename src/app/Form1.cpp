#include "app/Form1.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/FormStyle.h"
#include "app/GameFolderLookup.h"
#include "app/Globals.h"
#include "app/ProgramEnd.h"
#include "app/ProgramIcon.h"
#include "dialogs/Form3.h"
#include "dialogs/Form4.h"
#include "install/Form2.h"
#include "panel/Form5.h"
#include "platform/FileSystemObject.h"
#include "platform/Folders.h"
#include "platform/PathMapping.h"

namespace kelmora {

namespace {

constexpr const char* kWelcomeText =
    "Welcome to Orvald's Kelmora Installation program.  This program will install Orvald's "
    "Kelmora onto your hard drive.  Please note that Orvald's Kelmora requires Total Annihilation: "
    "The Core Contingency and the version 3.1c patch in order to run.  Also note that Orvald's "
    "Kelmora may not be installed over any other rev31.gp3 modifications.";

// A folder field selects all its text when it gets the focus or is double-clicked, so that typing
// replaces the folder.
class FolderField : public QLineEdit {
public:
    FolderField(QWidget* parent, const char* name, QRect geometry) : QLineEdit(parent) {
        setObjectName(QString::fromLatin1(name));
        setGeometry(geometry);
    }

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        selectAll();
    }
    void mouseDoubleClickEvent(QMouseEvent*) override { selectAll(); }
};

std::string FieldText(const QString& text) {
    return text.toStdString();
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    SetUpForm(this, QStringLiteral("Orvald's Kelmora Installation Program"), 4920, 3720,
              FormKind::kMainWindow);
    BuildControls();
    ConnectControls();
}

void Form1::BuildControls() {
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(TwipsRect(120, 120, 960, 960));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(ProgramEmblem(32));

    Label1 = MakeLabel(this, "Label1", kWelcomeText, TwipsRect(1200, 120, 3615, 1695));
    Label2 = MakeLabel(this, "Label2",
                       "Location of Total Annihilation folder:", TwipsRect(120, 1800, 4695, 255));
    Text1 = new FolderField(this, "Text1", TwipsRect(120, 2040, 3375, 270));
    Command3 = MakeButton(this, "Command3", QStringLiteral("TA Directory"),
                          TwipsRect(3600, 2040, 1215, 270));
    Label3 = MakeLabel(this, "Label3", "Location of KELMORA.UFO:", TwipsRect(120, 2520, 4695, 255));
    Text2 = new FolderField(this, "Text2", TwipsRect(120, 2760, 4695, 285));
    Command1 = MakeButton(this, "Command1", QStringLiteral("OK"), TwipsRect(960, 3240, 1215, 375));
    Command1->setEnabled(false);
    Command2 =
        MakeButton(this, "Command2", QStringLiteral("Cancel"), TwipsRect(2280, 3240, 1215, 375));
    Command4 =
        MakeButton(this, "Command4", QStringLiteral("Help"), TwipsRect(3600, 3240, 1215, 375));

    SetTabOrder({Text1, Text2, Command1, Command2, Command3, Command4});
    SetDefaultAndCancel(this, Command1, Command2);
}

void Form1::ConnectControls() {
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString& text) {
        folders_.GameFolderTextChanged(FieldText(text));
        ShowOkState();
    });
    connect(Text2, &QLineEdit::textChanged, this, [this](const QString& text) {
        folders_.PackageFolderTextChanged(FieldText(text));
        ShowOkState();
    });
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4Click);
}

bool Form1::Load() {
    const FileSystemObject fileSystem;
    LookupGameFolder(kGameUninstallKey, kGameFolderValue);
    Text2->setText(QString::fromStdString(CurDir()));
    folders_.CheckAllFiles();
    ShowOkState();
    // The game list's folder, not Text1: an unusable field has sent the list to the drive root.
    const bool patchInstalled =
        fileSystem.FolderExists(JoinPath(folders_.File1().Folder(), "\\Orv_Backup"));
    if (!patchInstalled) return true;
    HandOverToControlPanel();
    return false;
}

// The patch is installed: the control panel becomes the program's only window. TADir keeps the
// game list's folder as the list reports it; only OK stores it in lower case.
void Form1::HandOverToControlPanel() {
    TADir = folders_.File1().Folder();
    (new Form5())->show();
}

void Form1::LookupGameFolder(const std::string& keyPath, const std::string& valueName) {
    const std::string folder = ReadRegistryText(keyPath, valueName);
    Text1->setText(QString::fromStdString(folder));
    if (folder.empty()) Command3->setEnabled(false);
}

void Form1::ShowOkState() {
    Command1->setEnabled(folders_.OkEnabled());
}

void Form1::Command1Click() {
    // The lists' folders, not the fields' texts: an unusable field stores the drive root.
    TADir = LowerCase(folders_.File1().Folder());
    UfoDir = LowerCase(folders_.File2().Folder());
    {
        Form3 releaseNotes(this);
        releaseNotes.exec();
    }
    repaint();
    ContinueAfterReleaseNotes();
}

// The install window runs the install and ends the program; this window stays behind it.
void Form1::ContinueAfterReleaseNotes() {
    Form2 installWindow(this);
    installWindow.exec();
}

void Form1::Command2Click() {
    EndProgram(0);
}

void Form1::Command3Click() {
    LookupGameFolder(kGameUninstallKey, kGameFolderValue);
}

void Form1::Command4Click() {
    Form4 help(this);
    help.exec();
}

void Form1::closeEvent(QCloseEvent*) {
    EndProgram(0);
}

}  // namespace kelmora
