// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetLayout.h"

#include <algorithm>

namespace corvane::widget {

using namespace metrics;

QList<int> rowSizes(WidgetFamily family, int driveCount)
{
    const int n = std::clamp(driveCount, 0, tilesPerFamily(family));
    if (n >= 7)
        return {3, 3, n - 6};
    if (n >= 4)
        return {3, n - 3};
    return {n};
}

namespace {

TileGeometry layoutTile(const QRectF &tile, qreal nameWidth, qreal nameHeight)
{
    const QRectF inner = tile.adjusted(kTilePadding, kTilePadding, -kTilePadding, -kTilePadding);
    // The icon's layer (icon plus badge) takes whatever height the name leaves,
    // never less than the icon itself; the stack is centred in the tile.
    const qreal layerHeight = std::max(kIconSize, inner.height() - kSpacing - nameHeight);
    const qreal stackHeight = layerHeight + kSpacing + nameHeight;
    const qreal top = inner.center().y() - stackHeight / 2;
    const QRectF layer(inner.left(), top, inner.width(), layerHeight);

    TileGeometry g;
    g.tile = tile;
    g.icon = QRectF(layer.center().x() - kIconSize / 2, layer.center().y() - kIconSize / 2,
                    kIconSize, kIconSize);
    g.badge = QRectF(layer.right() - kBadgeTrailing - kBadgeSize,
                     layer.bottom() - kBadgeBottom - kBadgeSize, kBadgeSize, kBadgeSize);
    g.name = QRectF(tile.center().x() - nameWidth / 2, layer.bottom() + kSpacing, nameWidth,
                    nameHeight);
    return g;
}

} // namespace

WidgetGeometry layoutWidget(WidgetFamily family, int driveCount, qreal nameHeight)
{
    WidgetGeometry geometry;
    geometry.canvas = familyCanvasSize(family);
    const QList<int> sizes = rowSizes(family, driveCount);

    const qreal pitch = kTileFrame + kSpacing;
    const qreal rowsHeight = sizes.size() * pitch - kSpacing;
    qreal y = (geometry.canvas.height() - rowsHeight) / 2;
    for (int count : sizes) {
        RowGeometry row;
        const qreal width = count > 0 ? count * pitch - kSpacing : 0;
        const qreal height = count > 0 ? kTileFrame : 0;
        row.rect = QRectF((geometry.canvas.width() - width) / 2, y, width, height);
        // Names get 120 wide, but less than the distance between two tiles, or
        // neighbouring long names would print into each other.
        const qreal nameWidth = count > 1 ? std::min(kNameWidth, pitch - kSpacing / 2) : kNameWidth;
        for (int i = 0; i < count; ++i) {
            const QRectF tile(row.rect.left() + i * pitch, y, kTileFrame, kTileFrame);
            row.tiles.append(layoutTile(tile, nameWidth, nameHeight));
        }
        geometry.rows.append(row);
        y += pitch;
    }

    const qreal inset = kMarkPadding + 8;
    geometry.mark = QRectF(geometry.canvas.width() - inset - kMarkSize,
                           geometry.canvas.height() - inset - kMarkSize, kMarkSize, kMarkSize);
    return geometry;
}

} // namespace corvane::widget
