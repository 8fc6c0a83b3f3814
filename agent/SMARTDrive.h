// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drive/DriveSummary.h"
#include "platform/WidgetCenter.h"

#include <QDBusConnection>

namespace corvane {

// The widget reload request: a D-Bus signal on the session bus (WidgetCenter.h).
inline constexpr const char *kAgentObjectPath = kWidgetCenterPath;
inline constexpr const char *kAgentInterface = kWidgetCenterInterface;
inline constexpr const char *kReloadTimelinesSignal = kReloadTimelinesMember;

// The drive summary record and its encoding are the library's (DriveSummary.h);
// the agent writes them to the widget data file.
enum class WidgetWrite {
    Written,        // file replaced, reload requested
    WriteFailed,    // old file kept, reload requested anyway
    NoContainer,    // container folder missing and not creatable: nothing done
};

// Replaces <container>/data.json atomically and asks the widget to reload.
WidgetWrite writeDrivesForWidget(const QList<SMARTDrive> &drives, const QString &container,
                                 const QDBusConnection &bus);

// Emits reloadTimelines("Corvane_Widget") on the bus; false when not connected.
bool requestWidgetReload(const QDBusConnection &bus);

} // namespace corvane
