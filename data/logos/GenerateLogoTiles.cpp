// SPDX-License-Identifier: GPL-3.0-or-later
// Draws one neutral tile per catalogue name into OUTDIR/logo-catalogue and
// OUTDIR/drive-logos. Usage: corvane-logo-tiles OUTDIR
#include "drive/ManufacturerLogos.h"

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <cstdio>

namespace {

QImage tile(const QString &name)
{
    constexpr int size = 128;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x9a, 0xa0, 0xa6), 2));
    p.setBrush(QColor(0xf1, 0xf3, 0xf4));
    p.drawRoundedRect(QRectF(2, 2, size - 4, size - 4), 14, 14);

    // Largest font size at which the name fits the tile's inner width.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    const int inner = size - 20;
    int points = 28;
    for (; points > 6; --points) {
        font.setPixelSize(points);
        if (QFontMetrics(font).horizontalAdvance(name) <= inner)
            break;
    }
    font.setPixelSize(points);
    p.setFont(font);
    p.setPen(QColor(0x3c, 0x40, 0x43));
    p.drawText(QRect(10, 0, inner, size), Qt::AlignCenter, name);
    p.end();
    return image;
}

bool save(const QImage &image, const QString &path)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: corvane-logo-tiles OUTDIR\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (const char *folder : {corvane::kLogoCatalogueFolder, corvane::kDriveLogoFolder}) {
        const QString dir = out + QLatin1Char('/') + QLatin1String(folder);
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "corvane-logo-tiles: cannot create %s\n", qPrintable(dir));
            return 1;
        }
        for (const QString &name : corvane::logoCatalogueNames()) {
            if (!save(tile(name), dir + QLatin1Char('/') + name + QStringLiteral(".png"))) {
                std::fprintf(stderr, "corvane-logo-tiles: cannot write %s/%s.png\n",
                             qPrintable(dir), qPrintable(name));
                return 1;
            }
        }
    }
    return 0;
}
