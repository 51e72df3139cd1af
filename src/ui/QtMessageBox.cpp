// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/WindowStyle.h"

namespace kelmora {

namespace {

QMessageBox::Icon BoxIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::kCritical:
            return QMessageBox::Critical;
        case MsgIcon::kQuestion:
            return QMessageBox::Question;
        case MsgIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

MsgAnswer QtMessageBox::Show(const Message& message) {
    // A box belongs to the window it stands over, so that it has no task-bar entry of its own;
    // during the install that is the install window, whichever window has the focus.
    QWidget* owner = QApplication::activeModalWidget();
    QMessageBox box(owner ? owner : QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(message.title));
    // A message box has no icon on its title bar; an empty icon of its own keeps it from taking
    // its owner's.
    box.setWindowIcon(QIcon());
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(message.text));
    box.setIcon(BoxIcon(message.icon));
    if (message.buttons == MsgButtons::kYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::kYes : MsgAnswer::kNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::kOk;
}

}  // namespace kelmora
