// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/WidgetCenter.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>
#include <optional>

namespace corvane {

// The widget reload request: a D-Bus signal on the session bus (WidgetCenter.h).
inline constexpr const char *kAgentObjectPath = kWidgetCenterPath;
inline constexpr const char *kAgentInterface = kWidgetCenterInterface;
inline constexpr const char *kReloadTimelinesSignal = kReloadTimelinesMember;
inline constexpr char kWidgetDataFileName[] = "data.json";

// The summary of one drive after a gather.
struct SMARTDrive
{
    QUuid id;
    QString bsdName;
    QString hwName;
    QString volName;   // volume names joined with ", "
    QString location;  // "Internal" or "External"
    QString icon;      // icon name or file path ("diskIcon"); never written to the file
    QString health;    // "Passed", "Warning", "Failed" or "-"
    // The names volName was joined from; unmount removal compares against
    // each of them, since a joined text can't tell "Data" from "Data Backup".
    QStringList volumeNames;

    SMARTDrive() = default;
    SMARTDrive(QString bsdName, QString hwName, QString volName, QString location, QString icon,
               QString health);

    // std::nullopt for a dictionary without a "bsdName" text.
    static std::optional<SMARTDrive> fromProperties(const QVariantMap &properties);

    // The six members of the widget data file.
    QVariantMap toJson() const;

    bool operator==(const SMARTDrive &other) const { return id == other.id; }
};

// The widget data file's content: a compact JSON array, UTF-8.
QByteArray encodeDrivesForWidget(const QList<SMARTDrive> &drives);

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
