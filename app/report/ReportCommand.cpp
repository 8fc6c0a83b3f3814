// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportCommand.h"

#include "database/THSmartDeviceDatabase.h"
#include "drive/DriveEnumerator.h"
#include "pages/HistoryPage.h"
#include "platform/DeviceStatus.h"
#include "platform/SharedDefaults.h"
#include "report/ReportWriter.h"

#include <QApplication>
#include <QTextStream>

namespace corvane::app {

int exportReportCommand(const DrivePlatform &platform, const QString &drive, const QString &outPath)
{
    QTextStream err(stderr);
    if (!platform.registry) {
        err << "corvane --export-pdf: no drives can be found on this system\n";
        return 1;
    }
    DriveEnumerator enumerator(*platform.registry);
    enumerator.driveInformation();
    std::unique_ptr<THSMARTDevice> device = enumerator.deviceWithBSDName(drive);
    if (!device) {
        const QStringList known = enumerator.sortedBSDNames();
        err << QStringLiteral("corvane --export-pdf: no SMART-capable drive '%1'; %2\n")
                   .arg(drive, known.isEmpty() ? QStringLiteral("no drives were found")
                                               : QStringLiteral("the drives are: ") + known.join(QStringLiteral(", ")));
        return 2;
    }
    DriveEntry entry;
    entry.settings = device->driveProperties();
    if (!device->driveProperties().value(QStringLiteral("isNVMe")).toBool()) {
        SharedDefaults &defaults = SharedDefaults::shared();
        defaults.registerDefaults(defaultSharedRegistrations());
        if (const auto ignore = defaults.dictionaryValue(QLatin1String(kIgnoreAttributesKey)))
            device->driveProperties().insert(QStringLiteral("ignoreAttributes"), *ignore);
        const QVariantMap db = THSmartDeviceDatabase::lookupDriveModel(
            entry.settings.value(QStringLiteral("Device Model")).toString(),
            entry.settings.value(QStringLiteral("Firmware Version")).toString());
        entry.databaseWarning = db.value(QStringLiteral("warning")).toString().trimmed();
        entry.firmwareBug = db.value(QStringLiteral("firmwarebugDescription")).toString().trimmed();
        entry.modelFamily = db.value(QStringLiteral("modelfamily")).toString().trimmed();
    }
    entry.readStatus = readDrive(*device, platform);
    if (entry.readStatus)
        err << QStringLiteral("corvane --export-pdf: %1 could not be read completely: %2; the report shows what was read\n")
                   .arg(drive, statusUserMessage(entry.readStatus));
    entry.device = std::move(device);
    // The Information page says which error counters grew lately; the
    // report has no History page, so the series stays unread.
    HistoryReader(historyDatabasePath()).readSummary(entry);

    QString error;
    if (!writeReportPdf(entry, outPath, QApplication::palette(), &error)) {
        err << QStringLiteral("corvane --export-pdf: cannot write %1: %2\n").arg(outPath, error);
        return 1;
    }
    return 0;
}

} // namespace corvane::app
