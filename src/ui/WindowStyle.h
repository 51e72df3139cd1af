// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <initializer_list>
#include <string>
#include <string_view>

class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

// What every window of the program shares: layout in twips, a fixed frame centred on the screen,
// the default and cancel buttons, the keyboard order, the font and labels that wrap.
namespace kelmora {

inline constexpr int kTwipsPerPixel = 15;

constexpr int Pixels(int twips) {
    return twips / kTwipsPerPixel;
}

// A rectangle given as left, top, width and height in twips.
QRect TwipsRect(int left, int top, int width, int height);

enum class WindowKind {
    kMainWindow,             // a task-bar entry, a close box and the program's icon
    kDialog,                 // no task-bar entry, a close box and the program's icon
    kDialogWithoutCloseBox,  // no task-bar entry, no button and no icon on the title bar
};

// Gives `window` its caption and icon, a fixed client area of the given size in twips, a title bar
// without minimise or maximise button, and a place in the centre of the screen.
void SetUpWindow(QWidget* window, const QString& caption, int widthTwips, int heightTwips,
                 WindowKind kind);

// What Enter presses in a window.
enum class EnterPresses {
    // The command button that has the focus, else the default button, as in classic dialogs; the
    // default mark (the dark frame) moves to a command button while it has the focus.
    kFocusedButton,
    // The default button wherever the focus is; the mark stays on it.
    kDefaultButton,
};

// Enter in `window` as `enter` says, and Esc presses `cancelButton` wherever the focus is. A
// button that is hidden or disabled is not pressed; either button may be null (none). Only
// command buttons made by MakeButton take part.
void SetDefaultAndCancel(QWidget* window, QPushButton* defaultButton, QPushButton* cancelButton,
                         EnterPresses enter = EnterPresses::kFocusedButton);

// Tab moves through `widgets` in the order given.
void SetTabOrder(std::initializer_list<QWidget*> widgets);

// Every window's font: Liberation Sans, sized so that each text fits the place its window gives
// it, or where it is missing a font with the same measures, or else one that still fits.
QFont ProgramFont();

// What to tell the user about the font: empty when Liberation Sans is used, else which font
// stands in for it and where to get it.
std::string ProgramFontNote();

// A text whose lines are separated by CR alone, as a label or message box shows it.
QString DisplayText(std::string_view text);

// A label with `name` as its object name, showing `text` as wrapping plain text.
QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view text, QRect geometry);

// A frame with `name` as its object name and `caption` as its title.
QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption, QRect geometry);

// A command button with `name` as its object name; the window's SetDefaultAndCancel decides what
// Enter presses and which button shows the default mark.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry);

}  // namespace kelmora
