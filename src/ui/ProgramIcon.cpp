// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace kelmora {

namespace {

// The drawing is made on a 32-unit grid and scaled to the size asked for.
QPainterPath ShieldOutline() {
    QPainterPath shield;
    shield.moveTo(16, 2);
    shield.lineTo(28, 6);
    shield.cubicTo(28, 18, 23, 25, 16, 30);
    shield.cubicTo(9, 25, 4, 18, 4, 6);
    shield.closeSubpath();
    return shield;
}

QPainterPath Rune() {
    QPainterPath rune;
    rune.moveTo(13, 8);
    rune.lineTo(13, 24);
    rune.moveTo(21, 8);
    rune.lineTo(13, 16);
    rune.lineTo(21, 24);
    return rune;
}

}  // namespace

void PaintEmblem(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    QLinearGradient steel(0, 2, 0, 30);
    steel.setColorAt(0, QColor(0x6f, 0x8f, 0xb8));
    steel.setColorAt(1, QColor(0x1d, 0x33, 0x57));
    painter.setPen(QPen(QColor(0x0b, 0x16, 0x2a), 1.5));
    painter.setBrush(steel);
    painter.drawPath(ShieldOutline());

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xf2, 0xb1, 0x34), size >= 32 ? 3.0 : 3.5, Qt::SolidLine,
                        Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(Rune());
}

QPixmap ProgramEmblem(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    PaintEmblem(painter, size);
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    icon.addPixmap(ProgramEmblem(16));
    icon.addPixmap(ProgramEmblem(32));
    return icon;
}

}  // namespace kelmora
