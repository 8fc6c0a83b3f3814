// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetFamily.h"

#include "platform/Paths.h"

#include <QSettings>
#include <memory>

namespace corvane::widget {

namespace {

inline constexpr char kFamilyKey[] = "widgetFamily";

// The one place that knows where the choice is kept, so it can move into the
// shared defaults class without touching the rest of the widget.
std::unique_ptr<QSettings> familySettings()
{
    return std::make_unique<QSettings>(corvane::sharedDefaultsFile(), QSettings::IniFormat);
}

} // namespace

QString familyName(WidgetFamily family)
{
    switch (family) {
    case WidgetFamily::Small:
        return QStringLiteral("small");
    case WidgetFamily::Medium:
        return QStringLiteral("medium");
    case WidgetFamily::Large:
        return QStringLiteral("large");
    }
    return QStringLiteral("large");
}

std::optional<WidgetFamily> familyFromName(const QString &name)
{
    for (WidgetFamily family : kSupportedFamilies) {
        if (familyName(family) == name)
            return family;
    }
    return std::nullopt;
}

int tilesPerFamily(WidgetFamily family)
{
    switch (family) {
    case WidgetFamily::Small:
        return 1;
    case WidgetFamily::Medium:
        return 3;
    case WidgetFamily::Large:
        break;
    }
    return 9;
}

QSize familyCanvasSize(WidgetFamily family)
{
    switch (family) {
    case WidgetFamily::Small:
        return {170, 170};
    case WidgetFamily::Medium:
        return {364, 170};
    case WidgetFamily::Large:
        break;
    }
    return {364, 382};
}

WidgetFamily storedFamily()
{
    return familyFromName(familySettings()->value(QLatin1String(kFamilyKey)).toString())
        .value_or(WidgetFamily::Medium);
}

void storeFamily(WidgetFamily family)
{
    const std::unique_ptr<QSettings> settings = familySettings();
    settings->setValue(QLatin1String(kFamilyKey), familyName(family));
    settings->sync();
}

} // namespace corvane::widget
