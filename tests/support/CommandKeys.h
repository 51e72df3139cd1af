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

// The windows, by title.
inline constexpr const char* kMain = "Orvald's Kelmora Installation Program";
inline constexpr const char* kHelp = "Installation Help";
inline constexpr const char* kPanel = "Orvald's Kelmora Control Panel";
inline constexpr const char* kNotes = "Orvald's Kelmora Release Notes";

struct CommandKey {
    const char* window;   // the window's title
    const char* focused;  // the control that has the focus
    const char* key;      // an X key name: "Return", "KP_Enter", "Escape"
    const char* pressed;  // the button the key presses; "" for none
    const char* marked;   // the button drawn as the default
};

// The main window: Enter presses the focused command button, else OK; Esc is Cancel's. The help:
// OK is the only command button, both default and cancel. The control panel: no default and no
// cancel button. The release notes, the last word before the install: Enter is Yes wherever the
// focus is.
inline const std::vector<CommandKey> kCommandKeys = {
    {kMain, "gameFolderField", "Return", "okButton", "okButton"},
    {kMain, "okButton", "KP_Enter", "okButton", "okButton"},
    {kMain, "cancelButton", "Return", "cancelButton", "cancelButton"},
    {kMain, "findGameFolderButton", "Return", "findGameFolderButton", "findGameFolderButton"},
    {kMain, "helpButton", "Return", "helpButton", "helpButton"},
    {kMain, "helpButton", "Escape", "cancelButton", "helpButton"},
    {kMain, "packageFolderField", "Escape", "cancelButton", "okButton"},
    {kHelp, "problemButton_2", "Return", "okButton", "okButton"},
    {kHelp, "okButton", "Return", "okButton", "okButton"},
    {kHelp, "problemButton_4", "Escape", "okButton", "okButton"},
    {kPanel, "uninstallButton", "Return", "uninstallButton", "uninstallButton"},
    {kPanel, "disableButton", "KP_Enter", "disableButton", "disableButton"},
    {kPanel, "disableButton", "Escape", "", "disableButton"},
    {kNotes, "noButton", "Return", "yesButton", "yesButton"},
    {kNotes, "yesButton", "Return", "yesButton", "yesButton"},
    {kNotes, "noButton", "Escape", "noButton", "yesButton"},
};

// Checks the keys of `window`, shown and active, with its buttons cut off from what they do, so
// that a press is only noted. `press` presses a key; `shown` is what the screen shows of a
// widget, where a default button's outer edge is the frame's dark line, any other's the bevel's
// light one.
inline void CheckCommandKeys(QWidget& window, const std::function<bool(const QString& key)>& press,
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
    int checked = 0;
    for (const CommandKey& key : kCommandKeys) {
        if (window.windowTitle() != QLatin1String(key.window)) continue;
        ++checked;
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
    EXPECT_GT(checked, 0) << "no keys for the window " << window.windowTitle().toStdString();
}

}  // namespace kelmora::testing
