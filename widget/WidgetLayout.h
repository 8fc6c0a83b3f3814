// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "WidgetFamily.h"

#include <QList>
#include <QRectF>
#include <QSizeF>

namespace corvane::widget {

// Measures of the tile grid, in device-independent pixels.
namespace metrics {
inline constexpr qreal kTileFrame = 97;      // each tile's square frame
inline constexpr qreal kTilePadding = 2;     // inside that frame, on every edge
inline constexpr qreal kSpacing = 8;         // between tiles, rows, icon and name
inline constexpr qreal kIconSize = 64;
inline constexpr qreal kNameWidth = 120;
inline constexpr qreal kBadgeSize = 20;
inline constexpr qreal kBadgeBottom = 5;
inline constexpr qreal kBadgeTrailing = 10;
inline constexpr qreal kMarkSize = 20;
inline constexpr qreal kMarkOpacity = 0.3;
// The corner mark's own padding; the window has no system content margins, so
// it sits this far plus 8 from the bottom right corner.
inline constexpr qreal kMarkPadding = 0;
inline constexpr qreal kCornerRadius = 20;
} // namespace metrics

struct TileGeometry
{
    QRectF tile;   // the 97 x 97 frame
    QRectF icon;   // the drive icon, 64 x 64
    QRectF badge;  // the health badge, 20 x 20
    QRectF name;   // one line of the volume name
};

struct RowGeometry
{
    QRectF rect;  // the row's bounds; a click inside opens the main application
    QList<TileGeometry> tiles;
};

struct WidgetGeometry
{
    QSizeF canvas;
    QList<RowGeometry> rows;  // rows of three, as many as the shown drives need
    QRectF mark;              // the corner mark
};

// How many of `driveCount` drives a family shows, split into rows: 1..3 in one
// row; 4..6 as 3 + rest; 7..9 as 3 + 3 + rest. No drives give one empty row.
QList<int> rowSizes(WidgetFamily family, int driveCount);

// Places everything for `driveCount` drives. `nameHeight` is the height of one
// line of the name font.
WidgetGeometry layoutWidget(WidgetFamily family, int driveCount, qreal nameHeight);

} // namespace corvane::widget
