// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "Provider.h"
#include "WidgetLayout.h"
#include "platform/Paths.h"
#include "support/EventLoop.h"

#include <QDir>
#include <QImage>
#include <QRect>
#include <QSaveFile>
#include <functional>

namespace corvane::widget::test {

using corvane::test::waitUntil;

// Replaces a file atomically, the way the agent does.
inline bool replaceFile(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
}
inline bool writeDataFile(const QByteArray &content)
{
    QDir().mkpath(corvane::groupContainer());
    return replaceFile(corvane::groupContainer() + QStringLiteral("data.json"), content);
}

inline QByteArray drivesJson(const QStringList &healths)
{
    QByteArray json = "[";
    for (int i = 0; i < healths.size(); ++i) {
        json += QStringLiteral(R"(%1{"id":"ID-%2","bsdName":"sd%3","hwName":"Model %2","volName":"Vol %2","location":"%4","health":"%5"})")
                    .arg(i ? QStringLiteral(",") : QString())
                    .arg(i)
                    .arg(QChar(u'a' + i))
                    .arg(i % 2 ? QStringLiteral("External") : QStringLiteral("Internal"))
                    .arg(healths.at(i))
                    .toUtf8();
    }
    return json + "]";
}

inline DriveEntry entryOf(const QStringList &healths)
{
    DriveEntry entry;
    entry.date = QDateTime::currentDateTime();
    entry.drives = decodeAppData(drivesJson(healths)).value();
    return entry;
}

inline QList<TileGeometry> allTiles(const WidgetGeometry &g)
{
    QList<TileGeometry> tiles;
    for (const RowGeometry &row : g.rows)
        tiles += row.tiles;
    return tiles;
}

inline bool near(QRgb pixel, const QColor &colour, int tolerance)
{
    if (qAlpha(pixel) < 200)
        return false;
    return std::abs(qRed(pixel) - colour.red()) <= tolerance
           && std::abs(qGreen(pixel) - colour.green()) <= tolerance
           && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// Bounding boxes of the groups of pixels close to `colour`; pixels closer than
// `gap` to a group belong to it.
inline QList<QRect> colourBlobs(const QImage &source, const QColor &colour, int tolerance = 30, int gap = 12)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    QList<QRect> blobs;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (!near(image.pixel(x, y), colour, tolerance))
                continue;
            // A grown box may reach boxes it did not before: look again until none is near.
            QRect merged(x, y, 1, 1);
            for (qsizetype i = 0; i < blobs.size(); ++i)
                if (blobs.at(i).adjusted(-gap, -gap, gap, gap).intersects(merged)) {
                    merged = merged.united(blobs.takeAt(i));
                    i = -1;
                }
            blobs.append(merged);
        }
    return blobs;
}

} // namespace corvane::widget::test
