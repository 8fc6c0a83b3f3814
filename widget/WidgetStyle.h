// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "HealthStyle.h"

#include <QColor>

namespace corvane::widget {

using gui::Appearance;
using gui::HealthSymbol;
using gui::statusColor;
using gui::statusImage;
using gui::statusImageName;
using gui::systemAppearance;

// The widget's named colours, resolved for one appearance.
struct WidgetColors
{
    QColor widgetBackground;  // "WidgetBackground": top of the gradient, badge fill
    QColor darkerBackground;  // "DarkerBackground": bottom of the gradient
    QColor text;              // volume names and the no-data line
    QColor mark;              // the corner mark before its 0.3 opacity

    static WidgetColors forAppearance(Appearance appearance);
};

} // namespace corvane::widget
