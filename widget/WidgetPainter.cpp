// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetPainter.h"

#include "DriveIcons.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace corvane::widget {

using namespace metrics;

QFont nameFont()
{
    QFont font; // the application's font, at a size that fits a tile
    font.setPixelSize(12);
    return font;
}

WidgetGeometry layoutEntry(const DriveEntry &entry, WidgetFamily family)
{
    return layoutWidget(family, int(entry.drives.size()), QFontMetricsF(nameFont()).height());
}

namespace {

void paintBackground(QPainter &p, const QSizeF &canvas, const WidgetColors &colors)
{
    QLinearGradient gradient(0, 0, 0, canvas.height());
    gradient.setColorAt(0, colors.widgetBackground);
    gradient.setColorAt(1, colors.darkerBackground);
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRoundedRect(QRectF(QPointF(0, 0), canvas), kCornerRadius, kCornerRadius);
}

void paintNotice(QPainter &p, const QSizeF &canvas, const QString &notice, const WidgetColors &colors)
{
    // One line, shrunk to fit the small family before it would be cut.
    const QRectF box(16, 0, canvas.width() - 32, canvas.height());
    QFont font = nameFont();
    font.setPixelSize(13);
    while (font.pixelSize() > 9 && QFontMetricsF(font).horizontalAdvance(notice) > box.width())
        font.setPixelSize(font.pixelSize() - 1);
    const QFontMetricsF fm(font);
    p.setFont(font);
    p.setPen(colors.text);
    p.drawText(box, Qt::AlignCenter, fm.elidedText(notice, Qt::ElideRight, box.width()));
}

} // namespace

void paintBadge(QPainter &p, const QRectF &rect, const QString &driveHealth,
                const WidgetColors &colors, Appearance appearance)
{
    p.save();
    // Soft shadow, black at a third, radius 3 around the capsule.
    const qreal radius = rect.width() / 2;
    QRadialGradient shadow(rect.center(), radius + 3);
    const qreal edge = radius / (radius + 3);
    shadow.setColorAt(0, QColor(0, 0, 0, 84));
    shadow.setColorAt(edge, QColor(0, 0, 0, 84));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(rect.center(), radius + 3, radius + 3);

    gui::paintHealthBadge(p, rect, driveHealth, colors.widgetBackground, 1.0, 15, appearance);
    p.restore();
}

void paintEntry(QPainter &p, const DriveEntry &entry, WidgetFamily family, Appearance appearance)
{
    const WidgetColors colors = WidgetColors::forAppearance(appearance);
    const WidgetGeometry geometry = layoutEntry(entry, family);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    paintBackground(p, geometry.canvas, colors);

    const QFont font = nameFont();
    const QFontMetricsF fm(font);
    qsizetype index = 0;
    for (const RowGeometry &row : geometry.rows) {
        for (const TileGeometry &tile : row.tiles) {
            const SMARTDrive &drive = entry.drives.at(index++);
            driveImage(drive).paint(&p, tile.icon.toAlignedRect(), Qt::AlignCenter);
            paintBadge(p, tile.badge, drive.health, colors, appearance);
            p.setFont(font);
            p.setPen(colors.text);
            p.drawText(tile.name, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                       fm.elidedText(tileTitle(drive), Qt::ElideRight, tile.name.width()));
        }
    }

    if (!entry.notice.isEmpty())
        paintNotice(p, geometry.canvas, entry.notice, colors);

    if (const auto alert = hiddenAlert(entry, int(index))) {
        // A worse drive is hidden: its symbol at full strength and "+N" beside it.
        const QColor color = statusColor(alert->health, appearance);
        gui::paintHealthSymbol(p, geometry.mark.center(), statusImage(alert->health), color,
                               geometry.mark.width() / 16.0);
        QFont countFont = font;
        countFont.setBold(true);
        p.setFont(countFont);
        p.setPen(color);
        const QString count = QStringLiteral("+%1").arg(alert->hiddenCount);
        const qreal width = QFontMetricsF(countFont).horizontalAdvance(count);
        const QRectF countRect(geometry.mark.left() - width - 4, geometry.mark.top(), width,
                               geometry.mark.height());
        p.drawText(countRect, Qt::AlignRight | Qt::AlignVCenter, count);
    } else {
        p.setOpacity(kMarkOpacity);
        gui::drawMenuIcon(p, geometry.mark, colors.mark);
    }
    p.restore();
}

QImage renderEntry(const DriveEntry &entry, WidgetFamily family, Appearance appearance, qreal scale)
{
    const QSizeF canvas = familyCanvasSize(family);
    QImage image((canvas * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintEntry(painter, entry, family, appearance);
    painter.end();
    return image;
}

} // namespace corvane::widget
