// SPDX-License-Identifier: GPL-3.0-or-later
//
// kelmora-emblem-files: writes the program's emblem as the icon files of a desktop icon theme,
// one SVG and a PNG at each size given, or as a Windows icon file holding each size, from the
// same drawing code as the window icon, so the desktop's icon, the Windows program's and the
// window's never drift apart. Runs at build time only.
#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <QSvgGenerator>
#include <cstdio>
#include <vector>

#include "ui/ProgramIcon.h"

namespace {

// The emblem's own grid: the SVG keeps it as its view box.
constexpr int kGridUnits = 32;

bool MakeFolder(const QString& path) {
    if (QDir().mkpath(path)) return true;
    std::fprintf(stderr, "kelmora-emblem-files: cannot create %s\n", qPrintable(path));
    return false;
}

QImage Emblem(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    kelmora::PaintEmblem(painter, size);
    return image;
}

bool WritePng(const QString& themeDir, const QString& iconName, int size) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(themeDir).arg(size);
    if (!MakeFolder(folder)) return false;
    const QString path = folder + "/" + iconName + ".png";
    if (Emblem(size).save(path, "PNG")) return true;
    std::fprintf(stderr, "kelmora-emblem-files: cannot write %s\n", qPrintable(path));
    return false;
}

void AppendLittleEndian(QByteArray& bytes, quint32 value, int width) {
    for (int i = 0; i < width; ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A Windows icon file: a directory of one entry per size, each image stored as a PNG, which
// every Windows since Vista reads.
bool WriteIco(const QString& path, const std::vector<int>& sizes) {
    std::vector<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        Emblem(size).save(&buffer, "PNG");
        images.push_back(png);
    }
    QByteArray ico;
    AppendLittleEndian(ico, 0, 2);  // reserved
    AppendLittleEndian(ico, 1, 2);  // an icon, not a cursor
    AppendLittleEndian(ico, static_cast<quint32>(sizes.size()), 2);
    quint32 offset = 6 + 16 * static_cast<quint32>(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const quint32 side = sizes[i] >= 256 ? 0 : static_cast<quint32>(sizes[i]);  // 0 is 256
        AppendLittleEndian(ico, side, 1);
        AppendLittleEndian(ico, side, 1);
        AppendLittleEndian(ico, 0, 2);   // no palette, reserved
        AppendLittleEndian(ico, 1, 2);   // colour planes
        AppendLittleEndian(ico, 32, 2);  // bits per pixel
        AppendLittleEndian(ico, static_cast<quint32>(images[i].size()), 4);
        AppendLittleEndian(ico, offset, 4);
        offset += static_cast<quint32>(images[i].size());
    }
    for (const QByteArray& image : images) ico.append(image);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() && file.commit())
        return true;
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

// The sizes given on the command line; false after saying which one is not a size.
bool ReadSizes(int argc, char** argv, int first, std::vector<int>& sizes) {
    for (int i = first; i < argc; ++i) {
        const int size = PixelSize(argv[i]);
        if (size == 0) {
            std::fprintf(stderr, "kelmora-emblem-files: '%s' is not a size in pixels\n", argv[i]);
            return false;
        }
        sizes.push_back(size);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    if (argc >= 3 && QByteArray(argv[1]) == "--ico") {
        if (!ReadSizes(argc, argv, 3, sizes) || sizes.empty()) return 2;
        return WriteIco(QString::fromLocal8Bit(argv[2]), sizes) ? 0 : 1;
    }
    if (argc < 3) {
        std::fputs(
            "Usage: kelmora-emblem-files THEME_DIR ICON_NAME [SIZE...]\n"
            "       kelmora-emblem-files --ico FILE SIZE...\n",
            stderr);
        return 2;
    }
    if (!ReadSizes(argc, argv, 3, sizes)) return 2;
    const QString themeDir = QString::fromLocal8Bit(argv[1]);
    const QString iconName = QString::fromLocal8Bit(argv[2]);
    bool written = WriteSvg(themeDir, iconName);
    for (int size : sizes) written = WritePng(themeDir, iconName, size) && written;
    return written ? 0 : 1;
}
