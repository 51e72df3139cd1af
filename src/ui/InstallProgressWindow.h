#pragma once

#include <QDialog>

#include "core/InstallDisplay.h"
#include "core/InstallerState.h"

class QGroupBox;
class QLabel;
class QFrame;

namespace kelmora {

// The install window: shows the install procedure's current action and progress. Once it is
// first shown it runs the install, tells the outcome and ends the program.
class InstallProgressWindow : public QDialog, public InstallDisplay {
    Q_OBJECT

public:
    // Installs into the folders of `state`, which outlives the window.
    explicit InstallProgressWindow(InstallerState& state, QWidget* parent = nullptr);

    void SetAction(const std::string& text) override;
    void SetPercentText(const std::string& text) override;
    void SetBar(int percent) override;
    void Repaint() override;

    // What the first activation does: runs the install on this window, shows the outcome and
    // ends the program.
    [[noreturn]] void Activate();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    InstallerState& state_;
    QGroupBox* actionFrame_;
    QLabel* actionLabel_;
    QFrame* progressTrack_;
    QWidget* progressBar_;
    QLabel* percentLabel_;
    bool activated_ = false;
};

}  // namespace kelmora
