// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ReleaseNotesDialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include "core/ProgramEnd.h"
#include "ui/GuidanceTexts.h"
#include "ui/WindowStyle.h"

namespace kelmora {

ReleaseNotesDialog::ReleaseNotesDialog(QWidget* parent) : QDialog(parent) {
    SetUpWindow(this, QStringLiteral("Orvald's Kelmora Release Notes"), 6120, 3000,
                WindowKind::kDialogWithoutCloseBox);

    noButton_ =
        MakeButton(this, "noButton", QStringLiteral("No"), TwipsRect(4800, 2520, 1215, 375));
    yesButton_ =
        MakeButton(this, "yesButton", QStringLiteral("Yes"), TwipsRect(3480, 2520, 1215, 375));
    proceedLabel_ = MakeLabel(this, "proceedLabel", "Proceed with installation?",
                              TwipsRect(120, 2520, 1815, 255));
    notesLabel_ = MakeLabel(this, "notesLabel", ReleaseNotesText(), TwipsRect(0, 0, 6135, 2415));
    notesLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    notesLabel_->setBackgroundRole(QPalette::Base);
    notesLabel_->setAutoFillBackground(true);

    SetTabOrder({yesButton_, noButton_});
    // The notes are the last word before the install: Enter is Yes wherever the focus is.
    SetDefaultAndCancel(this, yesButton_, noButton_, EnterPresses::kDefaultButton);
    connect(yesButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(noButton_, &QPushButton::clicked, this, [] { EndProgram(0); });
}

void ReleaseNotesDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace kelmora
