// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive summary record that the agent writes to the widget data file and
// the widget reads back: one record, one encoding, for both programs.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>
#include <optional>

namespace corvane {

// The widget data file inside the group container.
inline constexpr char kWidgetDataFileName[] = "data.json";

// The summary of one drive after a gather.
struct SMARTDrive
{
    QUuid id;
    QString bsdName;
    QString hwName;
    QString volName;   // the names of the named volumes joined with ", "
    QString location;  // "Internal" or "External"
    QString icon;      // icon name or file path ("diskIcon"); never written to the file
    QString health;    // "Passed", "Warning", "Failed" or "-"
    // The names volName was joined from; unmount removal compares against
    // each of them, since a joined text can't tell "Data" from "Data Backup".
    QStringList volumeNames;
    // The drive slept through the gather: health and names are from its
    // last read (health "-" when it was never read).
    bool asleep = false;

    SMARTDrive() = default;
    // A new random id.
    SMARTDrive(QString bsdName, QString hwName, QString volName, QString location, QString icon,
               QString health);

    // std::nullopt for a dictionary without a "bsdName" text.
    static std::optional<SMARTDrive> fromProperties(const QVariantMap &properties);

    bool isInternal() const { return location == QLatin1String("Internal"); }

    // Two summaries are the same when their ids are.
    bool operator==(const SMARTDrive &other) const { return id == other.id; }
};

// The widget data file's content: a compact UTF-8 JSON array of objects with
// the six members "id", "bsdName", "hwName", "volName", "location", "health",
// and "asleep": true for a drive that slept through the gather (readers that
// don't know the member pass over it).
QByteArray encodeDrivesForWidget(const QList<SMARTDrive> &drives);

// The records of a widget data file in the agent's natural drive order
// (nvme2n1 before nvme10n1, sdz before sdaa). std::nullopt when the text is not
// a JSON array of objects whose five text members are texts; a record whose
// "health" is missing or not text is left out, with a line in `problems`.
std::optional<QList<SMARTDrive>> decodeDrivesForWidget(const QByteArray &json, QStringList *problems = nullptr);

} // namespace corvane
