// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <string>

#include "core/PanelActions.h"

class QGroupBox;
class QPushButton;

namespace kelmora {

// The control panel, shown instead of the main window once the patch is installed in a game folder:
// uninstall, disable or enable it, or read the credits. Its load step, run when it is built,
// offers Enable while the patch is parked and Disable otherwise.
class ControlPanelWindow : public QMainWindow {
public:
    explicit ControlPanelWindow(std::string gameFolder, QWidget* parent = nullptr);

protected:
    // Closing the control panel, the program's only window, ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildControls();
    void Load();

    void RunAction(PanelAction action);
    void ExitClicked();
    void AboutClicked();

    std::string gameFolder_;
    QGroupBox* uninstallFrame_;
    QPushButton* uninstallButton_;
    QGroupBox* modeFrame_;
    QPushButton* disableButton_;
    QPushButton* enableButton_;
};

}  // namespace kelmora
