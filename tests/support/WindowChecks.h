// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <ostream>

// GoogleTest prints a QString (and so a QStringList) as its text rather than as bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kelmora::testing {

// The object names of the labels, buttons and frames in `window` whose text does not fit the
// place they have, in the font they show it in.
inline QStringList ClippedTexts(const QWidget* window) {
    QStringList clipped;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        const QRect room = label->contentsRect().marginsRemoved(
            QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
        const int flags =
            static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect needed = QFontMetrics(label->font()).boundingRect(room, flags, label->text());
        if (needed.width() > room.width() || needed.height() > room.height()) {
            clipped << label->objectName();
        }
    }
    // A button's text keeps a few pixels clear of its frame on either side.
    constexpr int kButtonPadding = 6;
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const int textWidth = QFontMetrics(button->font()).horizontalAdvance(button->text());
        if (textWidth + kButtonPadding > button->width()) clipped << button->objectName();
    }
    for (const QGroupBox* frame : window->findChildren<QGroupBox*>()) {
        const int titleWidth = QFontMetrics(frame->font()).horizontalAdvance(frame->title());
        if (titleWidth > frame->width()) clipped << frame->objectName();
    }
    return clipped;
}

// The widgets that take the focus in turn when Tab is pressed, starting at `first`.
inline QList<QWidget*> TabChain(QWidget* first, int count) {
    QList<QWidget*> chain{first};
    first->setFocus(Qt::TabFocusReason);
    for (int step = 1; step < count; ++step) {
        QWidget* focused = first->window()->focusWidget();
        QTest::keyClick(focused, Qt::Key_Tab);
        chain << first->window()->focusWidget();
    }
    return chain;
}

}  // namespace kelmora::testing
