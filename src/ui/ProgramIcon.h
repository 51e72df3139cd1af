#pragma once

#include <QIcon>
#include <QPixmap>

namespace kelmora {

// The program's emblem, drawn here rather than taken from elsewhere: a steel shield with a golden
// rune on a dark field. `size` is in pixels (16 and 32 are the icon's sizes).
QPixmap ProgramEmblem(int size);

// The window icon: the emblem at 16 and 32 pixels.
QIcon ProgramIcon();

}  // namespace kelmora
