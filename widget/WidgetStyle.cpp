// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetStyle.h"

#include <QGuiApplication>
#include <QPalette>

namespace corvane::widget {

Appearance systemAppearance()
{
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? Appearance::Dark : Appearance::Light;
}

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

HealthSymbol statusImage(const QString &driveHealth)
{
    if (driveHealth == QLatin1String("Passed"))
        return HealthSymbol::CheckmarkCircle;
    if (driveHealth == QLatin1String("Warning"))
        return HealthSymbol::ExclamationmarkTriangle;
    if (driveHealth == QLatin1String("Failed"))
        return HealthSymbol::XmarkCircle;
    return HealthSymbol::Circle;
}

QString statusImageName(HealthSymbol symbol)
{
    switch (symbol) {
    case HealthSymbol::CheckmarkCircle:
        return QStringLiteral("checkmark.circle");
    case HealthSymbol::ExclamationmarkTriangle:
        return QStringLiteral("exclamationmark.triangle");
    case HealthSymbol::XmarkCircle:
        return QStringLiteral("xmark.circle");
    case HealthSymbol::Circle:
        break;
    }
    return QStringLiteral("circle");
}

QColor statusColor(const QString &driveHealth, Appearance appearance)
{
    const bool dark = appearance == Appearance::Dark;
    switch (statusImage(driveHealth)) {
    case HealthSymbol::CheckmarkCircle:
        return dark ? QColor(48, 209, 88) : QColor(40, 167, 69);
    case HealthSymbol::ExclamationmarkTriangle:
        return dark ? QColor(255, 159, 10) : QColor(242, 135, 5);
    case HealthSymbol::XmarkCircle:
        return dark ? QColor(255, 69, 58) : QColor(224, 36, 36);
    case HealthSymbol::Circle:
        break;
    }
    return dark ? QColor(152, 152, 157) : QColor(128, 128, 133);
}

} // namespace corvane::widget
