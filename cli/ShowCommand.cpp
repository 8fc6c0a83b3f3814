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

int runShow(const QStringList &args)
{
    CommandLine cl("show");
    const QCommandLineOption recordedOption = cl.recordedOption(), jsonOption = cl.jsonOption();
    cl.parser().addPositionalArgument(QStringLiteral("DEVICE"), QStringLiteral("The drive: a kernel name (sda, nvme0n1) or a /dev path."));
    if (const std::optional<int> exit = cl.parse(args, 1, 1))
        return *exit;
    const bool json = cl.parser().isSet(jsonOption);
    const QString recorded = cl.parser().value(recordedOption), name = cl.arguments().first();
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
