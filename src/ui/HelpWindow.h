// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>

#include "ui/GuidanceTexts.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kelmora {

// The installation help: the user picks one of five problems and reads its resolution. Each
// window starts with no problem picked.
class HelpWindow : public QDialog {
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    ~HelpWindow() override;

protected:
    // A click on a problem's text focuses its option button, which picks it; so do the arrow keys
    // on an option button.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildProblems();
    bool ArrowKeyPressed(int index, int key);
    void ProblemTextClicked(int index);
    void FocusMoved(QWidget* from, QWidget* to);
    void ProblemPicked(int index);

    QPushButton* okButton_;
    QGroupBox* resolutionFrame_;
    QLabel* resolutionLabel_;
    QGroupBox* problemFrame_;
    std::array<QRadioButton*, kProblemCount> problemButtons_;
    std::array<QLabel*, kProblemCount> problemLabels_;
    QMetaObject::Connection focusWatch_;
};

}  // namespace kelmora
