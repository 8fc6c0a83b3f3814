// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QSize>
#include <QString>
#include <optional>

namespace corvane::widget {

enum class WidgetFamily { Small, Medium, Large };

inline constexpr WidgetFamily kSupportedFamilies[] = {WidgetFamily::Small, WidgetFamily::Medium,
                                                      WidgetFamily::Large};

// "small", "medium", "large"
QString familyName(WidgetFamily family);
std::optional<WidgetFamily> familyFromName(const QString &name);
// How many drives a family shows: 1, 3, 9.
int tilesPerFamily(WidgetFamily family);
// The widget's size in device-independent pixels.
QSize familyCanvasSize(WidgetFamily family);

// The family the user chose last, kept in the shared defaults under "widgetFamily";
// Medium when nothing (or nothing valid) is stored.
WidgetFamily storedFamily();
void storeFamily(WidgetFamily family);

} // namespace corvane::widget
