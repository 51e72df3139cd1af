#pragma once

#include <QMainWindow>

#include "panel/PanelActions.h"

class QGroupBox;
class QPushButton;

namespace kelmora {

// The control panel, shown instead of the main window once the patch is installed in TADir:
// uninstall, disable or enable it, or read the credits. Its load step, run when it is built,
// offers Enable while the patch is parked and Disable otherwise.
class Form5 : public QMainWindow {
public:
    explicit Form5(QWidget* parent = nullptr);

protected:
    // Closing the control panel, the program's only window, ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildControls();
    void Load();

    void RunAction(PanelAction action);
    void FE_MenuClick();
    void HA_MenuClick();

    QGroupBox* Frame2;
    QPushButton* Command1;
    QGroupBox* Frame1;
    QPushButton* Command2;
    QPushButton* Command3;
};

}  // namespace kelmora
