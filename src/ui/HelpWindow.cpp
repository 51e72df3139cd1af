// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HelpWindow.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "ui/WindowStyle.h"

namespace kelmora {

namespace {

struct ProblemPlace {
    int left;
    int top;
    int labelHeight;
};

// Where each problem's option button stands in its frame, in twips; its text follows 240 to the
// right. Problems 0, 1 and 3 form the left column, 2 and 4 the right one.
constexpr std::array<ProblemPlace, kProblemCount> kProblemPlaces = {{
    {120, 240, 255},
    {120, 480, 615},
    {3120, 240, 975},
    {120, 1080, 495},
    {3120, 1080, 375},
}};

constexpr int kOptionSize = 255;
constexpr int kProblemTextWidth = 2775;
constexpr int kProblemTextOffset = 240;

// One problem's option button. Qt makes an exclusive group of buttons a single stop for Tab,
// while here Tab runs through every problem; so the buttons are not exclusive by themselves, the
// window clears the others, and a click never clears a picked button.
class OptionButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override { setChecked(true); }
};

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    SetUpWindow(this, QStringLiteral("Installation Help"), 6480, 4320, WindowKind::kDialog);

    okButton_ =
        MakeButton(this, "okButton", QStringLiteral("OK"), TwipsRect(5160, 3840, 1215, 375));
    resolutionFrame_ = MakeFrame(this, "resolutionFrame", QStringLiteral("Resolution"),
                                 TwipsRect(120, 1920, 6255, 1815));
    resolutionLabel_ =
        MakeLabel(resolutionFrame_, "resolutionLabel", "", TwipsRect(120, 240, 6015, 1455));
    resolutionLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    resolutionLabel_->setBackgroundRole(QPalette::Base);
    resolutionLabel_->setAutoFillBackground(true);
    problemFrame_ =
        MakeFrame(this, "problemFrame", QStringLiteral("Problem"), TwipsRect(120, 120, 6255, 1695));
    BuildProblems();

    SetTabOrder({problemButtons_[0], okButton_, problemButtons_[1], problemButtons_[2],
                 problemButtons_[3], problemButtons_[4]});
    SetDefaultAndCancel(this, okButton_, okButton_);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, &HelpWindow::FocusMoved);
    problemButtons_[0]->setFocus();
}

// The focus moves while the base classes take the window down, when this part is gone already.
HelpWindow::~HelpWindow() {
    disconnect(focusWatch_);
}

void HelpWindow::BuildProblems() {
    for (int index = 0; index < kProblemCount; ++index) {
        const ProblemPlace& place = kProblemPlaces[static_cast<std::size_t>(index)];
        auto* option = new OptionButton(problemFrame_);
        option->setAutoExclusive(false);
        option->setObjectName(QStringLiteral("problemButton_%1").arg(index));
        option->setGeometry(TwipsRect(place.left, place.top, kOptionSize, kOptionSize));
        // Kept as the design has it but never shown: it is wrong for problem 3, file versions.
        if (index >= 1 && index <= 3) {
            option->setProperty("toolTipText",
                                QStringLiteral("The \"TA Directory\" button is grayed out."));
        }
        option->installEventFilter(this);
        connect(option, &QRadioButton::toggled, this, [this, index](bool checked) {
            if (checked) ProblemPicked(index);
        });

        QLabel* label = MakeLabel(problemFrame_, "", ProblemText(index),
                                  TwipsRect(place.left + kProblemTextOffset, place.top,
                                            kProblemTextWidth, place.labelHeight));
        label->setObjectName(QStringLiteral("problemText_%1").arg(index));
        label->installEventFilter(this);

        problemButtons_[static_cast<std::size_t>(index)] = option;
        problemLabels_[static_cast<std::size_t>(index)] = label;
    }
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto found = std::find(problemButtons_.begin(), problemButtons_.end(), watched);
        if (found != problemButtons_.end())
            return ArrowKeyPressed(static_cast<int>(found - problemButtons_.begin()),
                                   static_cast<QKeyEvent*>(event)->key());
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int index = 0; index < kProblemCount; ++index) {
            if (watched == problemLabels_[static_cast<std::size_t>(index)])
                ProblemTextClicked(index);
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The arrow keys move among the problems in their keyboard order, round from the last to the
// first, as in a group of classic option buttons; the focus picks the problem it moves to.
bool HelpWindow::ArrowKeyPressed(int index, int key) {
    int step = 0;
    if (key == Qt::Key_Down || key == Qt::Key_Right) step = 1;
    if (key == Qt::Key_Up || key == Qt::Key_Left) step = kProblemCount - 1;
    if (step == 0) return false;
    problemButtons_[static_cast<std::size_t>((index + step) % kProblemCount)]->setFocus(
        Qt::TabFocusReason);
    return true;
}

// Focusing the button picks it; a button that has the focus already stays as it is, picked or not.
void HelpWindow::ProblemTextClicked(int index) {
    QRadioButton* option = problemButtons_[static_cast<std::size_t>(index)];
    if (!option->hasFocus()) option->setFocus(Qt::MouseFocusReason);
}

// Moving the focus from a control of this window onto an option button picks it, as with the
// classic option buttons; the focus that the window gets when it opens or is activated again
// picks nothing.
void HelpWindow::FocusMoved(QWidget* from, QWidget* to) {
    if (!from || from->window() != this) return;
    for (QRadioButton* option : problemButtons_) {
        if (option == to) option->setChecked(true);
    }
}

void HelpWindow::ProblemPicked(int index) {
    for (int other = 0; other < kProblemCount; ++other) {
        if (other != index) problemButtons_[static_cast<std::size_t>(other)]->setChecked(false);
    }
    resolutionLabel_->setText(DisplayText(ResolutionText(index)));
}

}  // namespace kelmora
