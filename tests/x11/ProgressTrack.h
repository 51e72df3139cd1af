// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QWidget>

// The install window's progress track as the screen shows it: where it lies in the window and how
// much of its bar is blue.
namespace kelmora::testing {

inline constexpr QColor kBarBlue(0, 0, 255);

inline QFrame* Track(const QWidget& window) {
    return window.findChild<QFrame*>(QStringLiteral("progressTrack"));
}

// The width of blue along the bar's lower edge inside the track, clear of the percentage text.
inline int BarWidth(const QImage& track, const QRect& inner) {
    int width = 0;
    while (width < inner.width() &&
           track.pixelColor(inner.left() + width, inner.bottom()) == kBarBlue) {
        ++width;
    }
    return width;
}

}  // namespace kelmora::testing
