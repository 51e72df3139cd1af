// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "core/InstallDisplay.h"
#include "core/InstallerState.h"

class QGroupBox;
class QLabel;
class QEventLoop;
class QFrame;

namespace kelmora {

// The install window: shows the install procedure's current action and progress. Activate shows
// it, runs the install, tells the outcome and ends the program.
class InstallProgressWindow : public QDialog, public InstallDisplay {
    Q_OBJECT

public:
    // Installs into the folders of `state`, which outlives the window.
    explicit InstallProgressWindow(InstallerState& state, QWidget* parent = nullptr);

    // The display calls, made on the windows' thread.
    void SetAction(const std::string& text) override;
    void SetPercentText(const std::string& text) override;
    void SetBar(int percent) override;
    void Repaint() override;

    // Shows the window modally and, once it is drawn, runs the install on a thread of its own
    // while this thread keeps the window on screen; then shows the outcome and ends the program.
    [[noreturn]] void Activate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void ShowAndWaitUntilDrawn();

    InstallerState& state_;
    QGroupBox* actionFrame_;
    QLabel* actionLabel_;
    QFrame* progressTrack_;
    QWidget* progressBar_;
    QLabel* percentLabel_;
    bool drawn_ = false;
    QEventLoop* firstDrawWaiter_ = nullptr;
};

}  // namespace kelmora
