// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

namespace kelmora {

// The program's emblem, drawn here rather than taken from elsewhere: a steel shield with a golden
// rune on a dark field. `size` is in pixels (16 and 32 are the icon's sizes).
QPixmap ProgramEmblem(int size);

// Paints the emblem at `size` pixels from the painter's origin: the packaging's icon files are
// drawn by the same code.
void PaintEmblem(QPainter& painter, int size);

// The window icon: the emblem at 16 and 32 pixels.
QIcon ProgramIcon();

}  // namespace kelmora
