// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "Provider.h"
#include "WidgetFamily.h"
#include "WidgetLayout.h"
#include "WidgetStyle.h"

#include <QFont>
#include <QImage>

class QPainter;

namespace corvane::widget {

// The font of the volume names and the no-data line.
QFont nameFont();

// Where everything of `entry` goes in `family`.
WidgetGeometry layoutEntry(const DriveEntry &entry, WidgetFamily family);

// Draws one entry onto a canvas of familyCanvasSize(family) at the painter's origin:
// background, rows of tiles (icon, health badge, one line of name), corner mark,
// and the no-data line when the entry carries one.
void paintEntry(QPainter &painter, const DriveEntry &entry, WidgetFamily family,
                Appearance appearance);

// The health badge alone, in a 20 x 20 rect.
void paintBadge(QPainter &painter, const QRectF &rect, const QString &driveHealth,
                const WidgetColors &colors, Appearance appearance);

// paintEntry into a transparent image of the canvas size times `scale`.
QImage renderEntry(const DriveEntry &entry, WidgetFamily family, Appearance appearance,
                   qreal scale = 1);

} // namespace corvane::widget
