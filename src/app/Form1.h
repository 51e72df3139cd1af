#pragma once

#include <QWidget>
#include <string>

#include "app/FolderFields.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmora {

// The main installer window: the game folder and the package folder for the user to confirm,
// and the way on to the release notes and the install.
class Form1 : public QWidget {
public:
    explicit Form1(QWidget* parent = nullptr);

    // The load step: fills both folder fields and decides whether this window is to be shown.
    bool Load();

protected:
    // Closing the window by its frame ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void ConnectControls();
    // Puts the registry's game folder into Text1, or blanks Text1 and disables "TA Directory"
    // for the rest of the run when there is none.
    void LookupGameFolder(const std::string& keyPath, const std::string& valueName);
    void HandOverToControlPanel();
    void ContinueAfterReleaseNotes();
    void ShowOkState();

    void Command1Click();
    void Command2Click();
    void Command3Click();
    void Command4Click();

    FolderFields folders_;

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Text1;
    QPushButton* Command3;
    QLabel* Label3;
    QLineEdit* Text2;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command4;
};

}  // namespace kelmora
