// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtMessageBox.h"

#include <QApplication>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>

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

// What a window manager's title bar needs for `title`: the title in a bold font of 11 points (the
// largest that common desktops use for titles; a program cannot ask an X11 window manager for
// its own), and on either side room for the buttons there (a centred title needs it on both).
int TitleBarWidth(const QString& title) {
    QFont font = ProgramFont();
    font.setPointSizeF(11);
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(title) + 6 * metrics.height();
}

// A message box at least as wide as its title needs, as classic boxes are: a narrower one has its
// title cut by the window manager. The box sets its own size whenever it is shown or laid out.
class BoxAsWideAsItsTitle : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    bool event(QEvent* event) override {
        const bool handled = QMessageBox::event(event);
        if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) Widen();
        return handled;
    }

private:
    void Widen() {
        const int needed =
            std::min(TitleBarWidth(windowTitle()), screen()->availableGeometry().width());
        if (width() >= needed) return;
        setFixedSize(needed, layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(needed)
                                                           : height());
    }
};

}  // namespace

MsgAnswer QtMessageBox::Show(const Message& message) {
    // A box belongs to the window it stands over, so that it has no task-bar entry of its own;
    // during the install that is the install window, whichever window has the focus.
    QWidget* owner = QApplication::activeModalWidget();
    BoxAsWideAsItsTitle box(owner ? owner : QApplication::activeWindow());
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
