// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl show [--recorded DIR] [--json] DEVICE: everything Corvane reads
// from one drive, grouped as the main window groups it.
#include "Command.h"
#include "DriveAccess.h"
#include "ShowFormat.h"

#include "platform/DeviceStatus.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace corvane::cli {

namespace {

constexpr char kUsage[] = "Usage: corvanectl show [--recorded DIR] [--json] DEVICE\n";

int runShow(const QStringList &args)
{
    bool json = false;
    QString recorded, name;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--json")) {
            json = true;
        } else if (args[i] == QLatin1String("--recorded") && i + 1 < args.size()) {
            recorded = args[++i];
        } else if (!args[i].startsWith(QLatin1String("--")) && name.isEmpty()) {
            name = args[i];
        } else {
            err(QStringLiteral("corvanectl show: unexpected argument '%1'\n").arg(args[i]) + QLatin1String(kUsage));
            return 2;
        }
    }
    if (name.isEmpty()) {
        err(QLatin1String(kUsage));
        return 2;
    }
    std::optional<DriveSet> set = DriveSet::open(recorded, QStringLiteral("show"));
    if (!set)
        return 1;
    const std::unique_ptr<THSMARTDevice> device = set->device(name, QStringLiteral("show"));
    if (!device)
        return 1;
    const int32_t status = set->read(*device);
    const QVariantMap &p = device->driveProperties();

    if (json)
        out(QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(p)).toJson(QJsonDocument::Indented)));
    else
        out(formatDrive(p));
    if (status != 0) {
        err(QStringLiteral("corvanectl show: %1: %2\n")
                .arg(p.value(QStringLiteral("bsdName")).toString(), statusUserMessage(status)));
        return 1;
    }
    return 0;
}

const CommandRegistrar registrar("show", {"show [--recorded DIR] [--json] DEVICE",
                                          "everything read from one drive (kernel name or /dev path)", runShow});

} // namespace

} // namespace corvane::cli
