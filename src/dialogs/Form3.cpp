#include "dialogs/Form3.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include "app/FormStyle.h"
#include "app/ProgramEnd.h"
#include "dialogs/GuidanceTexts.h"

namespace kelmora {

Form3::Form3(QWidget* parent) : QDialog(parent) {
    SetUpForm(this, QStringLiteral("Orvald's Kelmora Release Notes"), 6120, 3000,
              FormKind::kDialogWithoutCloseBox);

    Command2 = MakeButton(this, "Command2", QStringLiteral("No"), TwipsRect(4800, 2520, 1215, 375));
    Command1 =
        MakeButton(this, "Command1", QStringLiteral("Yes"), TwipsRect(3480, 2520, 1215, 375));
    Label2 =
        MakeLabel(this, "Label2", "Proceed with installation?", TwipsRect(120, 2520, 1815, 255));
    Label1 = MakeLabel(this, "Label1", ReleaseNotesText(), TwipsRect(0, 0, 6135, 2415));
    Label1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label1->setBackgroundRole(QPalette::Base);
    Label1->setAutoFillBackground(true);

    SetTabOrder({Command1, Command2});
    SetDefaultAndCancel(this, Command1, Command2);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Command2, &QPushButton::clicked, this, [] { EndProgram(0); });
}

void Form3::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace kelmora
