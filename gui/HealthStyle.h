// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QColor>
#include <QIcon>
#include <QString>

class QPainter;
class QPointF;
class QRectF;

namespace corvane::gui {

enum class Appearance { Light, Dark };

// Light or dark after the application palette's window colour.
Appearance systemAppearance();

// The symbol of one health word, matched exactly: "Passed", "Warning", "Failed",
// anything else.
enum class HealthSymbol { CheckmarkCircle, ExclamationmarkTriangle, XmarkCircle, Circle };

HealthSymbol statusImage(const QString &driveHealth);
// The symbol's name in the system's symbol set, e.g. "checkmark.circle".
QString statusImageName(HealthSymbol symbol);
// green, orange, red, grey
QColor statusColor(const QString &driveHealth, Appearance appearance);

// The symbol as a line drawing on a 15 px body centred on `centre`; `scale`
// enlarges it (2 gives a 30 px symbol).
void paintHealthSymbol(QPainter &painter, const QPointF &centre, HealthSymbol symbol,
                       const QColor &color, qreal scale = 1);

// "statusBackground": the disc behind a health symbol in a row or tile.
QColor statusBackground(Appearance appearance);

// A health badge: a disc of `background` at `opacity` filling `rect`, the
// word's symbol in its colour on top, sized `symbolSize` px.
void paintHealthBadge(QPainter &painter, const QRectF &rect, const QString &driveHealth,
                      const QColor &background, qreal opacity, qreal symbolSize, Appearance appearance);

// The health word's symbol in its colour as an icon that stays crisp at any size
// and device pixel ratio.
QIcon healthIcon(const QString &driveHealth, Appearance appearance);

} // namespace corvane::gui
