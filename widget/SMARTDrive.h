// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <optional>

class QIcon;

namespace corvane::widget {

// The widget's own copy of the agent's drive summary: one object of data.json.
struct SMARTDrive
{
    QString id;
    QString driveModel;   // "hwName"
    QString volumeNames;  // "volName", names joined with ","
    QString location;     // "Internal", anything else is external
    QString driveBSD;     // "bsdName"
    std::optional<QString> driveHealth; // "health"

    SMARTDrive() = default;
    SMARTDrive(QString uuid, QString driveModel, QString volumeNames, QString location,
               QString driveBSD, std::optional<QString> driveHealth);

    // The health word, "Passed" when the record has none.
    QString safeDriveHealth() const;
    // The first volume name without the " - Data" suffix, or the model when there
    // are no volume names.
    QString volName() const;
    bool isInternal() const { return location == QLatin1String("Internal"); }
    // The drive's icon: the start-up drive's for internal drives, removable media
    // otherwise (see DriveIcons.h).
    QIcon image() const;

    static SMARTDrive example();

    friend bool operator==(const SMARTDrive &, const SMARTDrive &) = default;
};

} // namespace corvane::widget
