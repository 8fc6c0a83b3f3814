// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl metrics [--recorded DIR]: every drive in the Prometheus text
// exposition format, for a scrape script or a look at what the agent exports.
#include "Command.h"
#include "DriveAccess.h"

#include "drive/THSMARTDevice.h"
#include "metrics/PrometheusExposition.h"
#include "platform/DeviceStatus.h"

#include <QDateTime>
#include <cstdio>

namespace corvane::cli {

namespace {

int runMetrics(const QStringList &args)
{
    CommandLine cl("metrics");
    const QCommandLineOption recorded = cl.recordedOption();
    if (const std::optional<int> exit = cl.parse(args, 0, 0))
        return *exit;
    std::optional<DriveSet> set = DriveSet::open(cl.parser().value(recorded), QStringLiteral("metrics"));
    if (!set)
        return 1;
    QList<QVariantMap> drives;
    for (const QString &name : set->names()) {
        const std::unique_ptr<THSMARTDevice> device = set->device(name, QStringLiteral("metrics"));
        if (!device)
            continue;
        const int32_t status = set->read(*device);
        drives.append(device->driveProperties());
        if (status != 0) {
            drives.last().insert(QLatin1String(kReadStatusKey), status);
            // The metrics carry a short reason; a person at the terminal gets the sentence.
            err(QStringLiteral("corvanectl metrics: %1: %2\n").arg(name, statusUserMessage(status)));
        }
    }
    const QByteArray text = prometheusExposition(drives, double(QDateTime::currentMSecsSinceEpoch()) / 1000.0,
                                                 readErrorsOf(drives), driveDatabaseFamily);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return 0;
}

const CommandRegistrar registrar("metrics", {"metrics [--recorded DIR]",
                                             "every drive as Prometheus metrics (text format 0.0.4)", runMetrics});

} // namespace

} // namespace corvane::cli
