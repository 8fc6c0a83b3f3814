// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QColor>
#include <QString>

namespace corvane::widget {

enum class Appearance { Light, Dark };

// Light or dark after the application palette's window colour.
Appearance systemAppearance();

// The widget's named colours, resolved for one appearance.
struct WidgetColors
{
    QColor widgetBackground;  // "WidgetBackground": top of the gradient, badge fill
    QColor darkerBackground;  // "DarkerBackground": bottom of the gradient
    QColor text;              // volume names and the no-data line
    QColor mark;              // the corner mark before its 0.3 opacity

    static WidgetColors forAppearance(Appearance appearance);
};

// The badge of one health word, matched exactly: "Passed", "Warning", "Failed",
// anything else.
enum class HealthSymbol { CheckmarkCircle, ExclamationmarkTriangle, XmarkCircle, Circle };

HealthSymbol statusImage(const QString &driveHealth);
// The symbol's name in the system's symbol set, e.g. "checkmark.circle".
QString statusImageName(HealthSymbol symbol);
// green, orange, red, grey
QColor statusColor(const QString &driveHealth, Appearance appearance);

} // namespace corvane::widget
