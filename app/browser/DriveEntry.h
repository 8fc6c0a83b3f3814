// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One drive of the list as the browser keeps it: the device (its session and
// properties), the settings it was made from, and why it couldn't be read.
#include "drive/THSMARTDevice.h"
#include "history/HistoryDatabase.h"

#include <QString>
#include <QVariantMap>
#include <memory>

namespace corvane::app {

struct DriveEntry
{
    std::shared_ptr<THSMARTDevice> device;
    QVariantMap settings;
    int32_t readStatus = 0;
    // The drive database's warning and firmware-bug texts for this model.
    QString databaseWarning;
    QString firmwareBug;
    QString modelFamily;
    // What the agent recorded of this drive, oldest first, and the counters
    // that grew in the last kGrowthDays (key, latest value, growth). A scan
    // reads only whether there is history and the growth; the series is read
    // when the History tab shows (historyRead).
    QList<HistorySample> history;
    QString historyError;
    bool hasHistory = false;
    bool historyRead = false;
    struct Growth
    {
        QString key;
        qint64 value = 0;
        qint64 growth = 0;
    };
    QList<Growth> growth;
    static constexpr int kGrowthDays = 7;

    const QVariantMap &properties() const { return device->driveProperties(); }
    QString bsdName() const { return properties().value(QStringLiteral("bsdName")).toString(); }
    bool isNVMe() const { return properties().value(QStringLiteral("isNVMe")).toBool(); }
};

} // namespace corvane::app
