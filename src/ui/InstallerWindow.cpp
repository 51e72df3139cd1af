// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/InstallerWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

#include "core/GameFolderLookup.h"
#include "core/InterruptedInstall.h"
#include "core/ProgramEnd.h"
#include "platform/FileSystemObject.h"
#include "platform/PathMapping.h"
#include "ui/ControlPanelWindow.h"
#include "ui/HelpWindow.h"
#include "ui/InstallProgressWindow.h"
#include "ui/ProgramIcon.h"
#include "ui/ReleaseNotesDialog.h"
#include "ui/WindowStyle.h"

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

// The folder of a package given on the command line; else the current folder, as ever, unless it
// lacks the package and the user's download folder holds it.
std::string StartingPackageFolder(const InstallerState& state) {
    if (!state.packageFolder.empty()) return state.packageFolder;
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return FirstFolderHoldingPackage({CurrentFolderText(), downloads.toStdString()});
}

}  // namespace

InstallerWindow::InstallerWindow(InstallerState& state, QWidget* parent)
    : QWidget(parent), state_(state) {
    SetUpWindow(this, QStringLiteral("Orvald's Kelmora Installation Program"), 4920, 3720,
                WindowKind::kMainWindow);
    BuildControls();
    ConnectControls();
}

void InstallerWindow::BuildControls() {
    emblem_ = new QLabel(this);
    emblem_->setObjectName(QStringLiteral("emblem"));
    emblem_->setGeometry(TwipsRect(120, 120, 960, 960));
    emblem_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    emblem_->setPixmap(ProgramEmblem(32));

    welcomeLabel_ = MakeLabel(this, "welcomeLabel", kWelcomeText, TwipsRect(1200, 120, 3615, 1695));
    gameFolderCaption_ =
        MakeLabel(this, "gameFolderCaption",
                  "Location of Total Annihilation folder:", TwipsRect(120, 1800, 4695, 255));
    gameFolderField_ = new FolderField(this, "gameFolderField", TwipsRect(120, 2040, 3375, 270));
    findGameFolderButton_ = MakeButton(this, "findGameFolderButton", QStringLiteral("TA Directory"),
                                       TwipsRect(3600, 2040, 1215, 270));
    packageFolderCaption_ = MakeLabel(this, "packageFolderCaption",
                                      "Location of KELMORA.UFO:", TwipsRect(120, 2520, 4695, 255));
    packageFolderField_ =
        new FolderField(this, "packageFolderField", TwipsRect(120, 2760, 4695, 285));
    okButton_ = MakeButton(this, "okButton", QStringLiteral("OK"), TwipsRect(960, 3240, 1215, 375));
    okButton_->setEnabled(false);
    cancelButton_ = MakeButton(this, "cancelButton", QStringLiteral("Cancel"),
                               TwipsRect(2280, 3240, 1215, 375));
    helpButton_ =
        MakeButton(this, "helpButton", QStringLiteral("Help"), TwipsRect(3600, 3240, 1215, 375));

    SetTabOrder({gameFolderField_, packageFolderField_, okButton_, cancelButton_,
                 findGameFolderButton_, helpButton_});
    SetDefaultAndCancel(this, okButton_, cancelButton_);
}

void InstallerWindow::ConnectControls() {
    connect(gameFolderField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        folders_.GameFolderTextChanged(FieldText(text));
        ShowOkState();
    });
    connect(packageFolderField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        folders_.PackageFolderTextChanged(FieldText(text));
        ShowOkState();
    });
    connect(okButton_, &QPushButton::clicked, this, &InstallerWindow::OkClicked);
    connect(cancelButton_, &QPushButton::clicked, this, &InstallerWindow::CancelClicked);
    connect(findGameFolderButton_, &QPushButton::clicked, this,
            &InstallerWindow::FindGameFolderClicked);
    connect(helpButton_, &QPushButton::clicked, this, &InstallerWindow::HelpClicked);
}

bool InstallerWindow::Load() {
    const FileSystemObject fileSystem;
    LookupGameFolder(kGameUninstallKey, kGameFolderValue);
    packageFolderField_->setText(QString::fromStdString(StartingPackageFolder(state_)));
    folders_.CheckAllFiles();
    ShowOkState();
    // The game list's folder, not the field: an unusable field has sent the list to the drive
    // root. An install stopped before it changed the game is undone first.
    UndoInterruptedInstall(folders_.GameFiles().Folder(), CurrentMessageBox());
    const bool patchInstalled =
        fileSystem.FolderExists(JoinPath(folders_.GameFiles().Folder(), "\\Orv_Backup"));
    if (!patchInstalled) return true;
    HandOverToControlPanel();
    return false;
}

// The patch is installed: the control panel becomes the program's only window. The game folder
// keeps the spelling the game list reports.
void InstallerWindow::HandOverToControlPanel() {
    state_.gameFolder = folders_.GameFiles().Folder();
    (new ControlPanelWindow(state_.gameFolder))->show();
}

void InstallerWindow::LookupGameFolder(const std::string& keyPath, const std::string& valueName) {
    std::string folder = ReadRegistryText(keyPath, valueName);
    if (folder.empty() && OffersFoundFolder()) folder = *foundFolder_;
    gameFolderField_->setText(QString::fromStdString(folder));
    if (folder.empty()) findGameFolderButton_->setEnabled(false);
}

bool InstallerWindow::OffersFoundFolder() {
    if (!searched_) {
        searched_ = true;
        if (std::optional<FoundGameFolder> found = OnlyGameFolderFound()) {
            foundFolder_ = found->folder.string();
            findGameFolderButton_->setToolTip(QString::fromStdString("Found: " + *foundFolder_));
        }
    }
    return foundFolder_.has_value();
}

void InstallerWindow::ShowOkState() {
    okButton_->setEnabled(folders_.OkEnabled());
}

void InstallerWindow::OkClicked() {
    // The lists' folders, not the fields' texts: an unusable field stores the drive root. Their
    // letter case is kept, so that the install works on these folders and no sibling of theirs;
    // its texts show them in lower case.
    state_.gameFolder = folders_.GameFiles().Folder();
    state_.packageFolder = folders_.PackageFile().Folder();
    {
        ReleaseNotesDialog releaseNotes(this);
        releaseNotes.exec();
    }
    repaint();
    ContinueAfterReleaseNotes();
}

// The install window runs the install and ends the program; this window stays behind it.
void InstallerWindow::ContinueAfterReleaseNotes() {
    InstallProgressWindow installWindow(state_, this);
    installWindow.Activate();
}

void InstallerWindow::CancelClicked() {
    EndProgram(0);
}

void InstallerWindow::FindGameFolderClicked() {
    LookupGameFolder(kGameUninstallKey, kGameFolderValue);
}

void InstallerWindow::HelpClicked() {
    HelpWindow help(this);
    help.exec();
}

void InstallerWindow::closeEvent(QCloseEvent*) {
    EndProgram(0);
}

}  // namespace kelmora
