// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <functional>
#include <vector>

// What Enter and Esc press in each window and which command button wears the default mark (the
// dark frame), as one table per window and one routine that checks a table on a window shown on
// a desktop, whatever presses the keys and reads the screen.
namespace kelmora::testing {

struct CommandKey {
    const char* focused;  // the control that has the focus
    const char* key;      // an X key name: "Return", "KP_Enter", "Escape"
    const char* pressed;  // the button the key presses; "" for none
    const char* marked;   // the button drawn as the default
};

// Enter presses the focused command button, else OK; Esc is Cancel's.
inline const std::vector<CommandKey> kMainWindowKeys = {
    {"gameFolderField", "Return", "okButton", "okButton"},
    {"okButton", "KP_Enter", "okButton", "okButton"},
    {"cancelButton", "Return", "cancelButton", "cancelButton"},
    {"findGameFolderButton", "Return", "findGameFolderButton", "findGameFolderButton"},
    {"helpButton", "Return", "helpButton", "helpButton"},
    {"helpButton", "Escape", "cancelButton", "helpButton"},
    {"packageFolderField", "Escape", "cancelButton", "okButton"},
};
// OK is the only command button, and both default and cancel.
inline const std::vector<CommandKey> kHelpWindowKeys = {
    {"problemButton_2", "Return", "okButton", "okButton"},
    {"okButton", "Return", "okButton", "okButton"},
    {"problemButton_4", "Escape", "okButton", "okButton"},
};
// No default and no cancel button: Enter presses the focused Execute button, Esc nothing.
inline const std::vector<CommandKey> kControlPanelKeys = {
    {"uninstallButton", "Return", "uninstallButton", "uninstallButton"},
    {"disableButton", "KP_Enter", "disableButton", "disableButton"},
    {"disableButton", "Escape", "", "disableButton"},
};
// The last word before the install: Enter is Yes wherever the focus is.
inline const std::vector<CommandKey> kReleaseNotesKeys = {
    {"noButton", "Return", "yesButton", "yesButton"},
    {"yesButton", "Return", "yesButton", "yesButton"},
    {"noButton", "Escape", "noButton", "yesButton"},
};

// Checks `keys` on `window`, shown and active, with the window's buttons cut off from what they
// do, so that a press is only noted. `press` presses a key; `shown` is what the screen shows of a
// widget, where a default button's outer edge is the frame's dark line, any other's the bevel's
// light one.
inline void CheckCommandKeys(QWidget& window, const std::vector<CommandKey>& keys,
                             const std::function<bool(const QString& key)>& press,
                             const std::function<QImage(const QWidget& widget)>& shown) {
    QObject noting;
    QString pressed;
    const QList<QPushButton*> buttons = window.findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        QObject::disconnect(button, &QAbstractButton::clicked, nullptr, nullptr);
        QObject::connect(button, &QAbstractButton::clicked, &noting,
                         [&pressed, button] { pressed = button->objectName(); });
    }
    const QColor frame = window.palette().color(QPalette::Shadow);
    for (const CommandKey& key : keys) {
        SCOPED_TRACE(std::string(key.key) + " on " + key.focused);
        auto* focused = window.findChild<QWidget*>(QString::fromLatin1(key.focused));
        ASSERT_NE(focused, nullptr);
        focused->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(QTest::qWaitFor([focused] { return focused->hasFocus(); }));
        pressed.clear();
        ASSERT_TRUE(press(QString::fromLatin1(key.key)));
        EXPECT_EQ(pressed.toStdString(), key.pressed);
        for (const QPushButton* button : buttons) {
            if (!button->isVisible()) continue;
            const bool marked = button->objectName() == QLatin1String(key.marked);
            EXPECT_TRUE(QTest::qWaitFor([&] {
                return (shown(*button).pixelColor(0, 0) == frame) == marked;
            })) << button->objectName().toStdString()
                << (marked ? " lacks" : " wears") << " the mark";
        }
    }
}

}  // namespace kelmora::testing
