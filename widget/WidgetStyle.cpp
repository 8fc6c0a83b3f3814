// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetStyle.h"


namespace corvane::widget {

WidgetColors WidgetColors::forAppearance(Appearance appearance)
{
    // Both sets keep the names at well above 7:1 contrast against either end of
    // the gradient.
    if (appearance == Appearance::Dark)
        return {QColor(0x34, 0x37, 0x3d), QColor(0x1b, 0x1c, 0x20), QColor(0xf2, 0xf2, 0xf5),
                QColor(0xff, 0xff, 0xff)};
    return {QColor(0xfa, 0xfa, 0xfc), QColor(0xd8, 0xdc, 0xe3), QColor(0x1d, 0x1d, 0x1f),
            QColor(0x00, 0x00, 0x00)};
}

} // namespace corvane::widget
