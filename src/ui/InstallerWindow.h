// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "core/FolderFields.h"
#include "core/InstallerState.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmora {

// The main installer window: the game folder and the package folder for the user to confirm,
// and the way on to the release notes and the install.
class InstallerWindow : public QWidget {
public:
    // The folders the player confirms go into `state`, which outlives the window.
    explicit InstallerWindow(InstallerState& state, QWidget* parent = nullptr);

    // The load step: fills both folder fields and decides whether this window is to be shown.
    bool Load();

protected:
    // Closing the window by its frame ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void ConnectControls();
    // Puts the registry's game folder into the game folder field, or where the registry names
    // none, the one game folder the search finds. When there is neither it blanks the field and
    // disables "TA Directory" for the rest of the run.
    void LookupGameFolder(const std::string& keyPath, const std::string& valueName);
    // Whether a game folder found by searching is on offer; searches on first use.
    bool OffersFoundFolder();
    void HandOverToControlPanel();
    void ContinueAfterReleaseNotes();
    void ShowOkState();

    void OkClicked();
    void CancelClicked();
    void FindGameFolderClicked();
    void HelpClicked();

    InstallerState& state_;
    FolderFields folders_;
    bool searched_ = false;
    std::optional<std::string> foundFolder_;

    QLabel* emblem_;
    QLabel* welcomeLabel_;
    QLabel* gameFolderCaption_;
    QLineEdit* gameFolderField_;
    QPushButton* findGameFolderButton_;
    QLabel* packageFolderCaption_;
    QLineEdit* packageFolderField_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QPushButton* helpButton_;
};

}  // namespace kelmora
