// SPDX-License-Identifier: GPL-3.0-or-later
//
// kelmora-emblem-files: writes the program's emblem as the icon files of a desktop icon theme,
// one SVG and a PNG at each size given, from the same drawing code as the window icon, so the
// desktop's icon and the window's never drift apart. Runs at build time only.
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgGenerator>
#include <cstdio>

#include "ui/ProgramIcon.h"

namespace {

// The emblem's own grid: the SVG keeps it as its view box.
constexpr int kGridUnits = 32;

bool MakeFolder(const QString& path) {
    if (QDir().mkpath(path)) return true;
    std::fprintf(stderr, "kelmora-emblem-files: cannot create %s\n", qPrintable(path));
    return false;
}

bool WritePng(const QString& themeDir, const QString& iconName, int size) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(themeDir).arg(size);
    if (!MakeFolder(folder)) return false;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        kelmora::PaintEmblem(painter, size);
    }
    const QString path = folder + "/" + iconName + ".png";
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "kelmora-emblem-files: cannot write %s\n", qPrintable(path));
    return false;
}

bool WriteSvg(const QString& themeDir, const QString& iconName) {
    const QString folder = themeDir + "/scalable/apps";
    if (!MakeFolder(folder)) return false;
    const QString path = folder + "/" + iconName + ".svg";
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(kGridUnits, kGridUnits));
    svg.setViewBox(QRect(0, 0, kGridUnits, kGridUnits));
    // At 96 dots per inch the document's size in millimetres is 32 CSS pixels.
    svg.setResolution(96);
    svg.setTitle(QStringLiteral("Orvald's Kelmora Installer"));
    svg.setDescription(QStringLiteral("A steel shield with a golden rune"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "kelmora-emblem-files: cannot write %s\n", qPrintable(path));
        return false;
    }
    // The generator writes the painter's font on every group although the emblem has no text;
    // without an application the default font has no size and would be written as a negative
    // one, which SVG readers reject.
    painter.setFont(QFont(QStringLiteral("sans-serif"), 12));
    kelmora::PaintEmblem(painter, kGridUnits);
    return painter.end();
}

// Reads a PNG size in pixels: 0 when the text is not one.
int PixelSize(const char* text) {
    bool ok = false;
    const int size = QString::fromLocal8Bit(text).toInt(&ok);
    return ok && size > 0 && size <= 1024 ? size : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("Usage: kelmora-emblem-files THEME_DIR ICON_NAME [SIZE...]\n", stderr);
        return 2;
    }
    const QString themeDir = QString::fromLocal8Bit(argv[1]);
    const QString iconName = QString::fromLocal8Bit(argv[2]);
    bool written = WriteSvg(themeDir, iconName);
    for (int i = 3; i < argc; ++i) {
        const int size = PixelSize(argv[i]);
        if (size == 0) {
            std::fprintf(stderr, "kelmora-emblem-files: '%s' is not a size in pixels\n", argv[i]);
            return 2;
        }
        written = WritePng(themeDir, iconName, size) && written;
    }
    return written ? 0 : 1;
}
