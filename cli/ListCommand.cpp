// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl list: the drives enumeration finds, or why it finds none.
#include "Command.h"

#include "drive/DriveEnumerator.h"
#include "platform/linux/UdevRegistry.h"
#include "platform/recorded/RecordedRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace corvane::cli {

namespace {

// Drive makers count in powers of ten; so does the list.
QString formatCapacity(qint64 bytes)
{
    static const char *const units[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes);
    size_t unit = 0;
    while (value >= 1000.0 && unit + 1 < std::size(units)) {
        value /= 1000.0;
        ++unit;
    }
    return unit == 0 ? QStringLiteral("%1 B").arg(bytes)
                     : QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString volumesText(const QVariantList &volumes)
{
    QStringList names;
    for (const QVariant &v : volumes) {
        const QString name = v.toMap().value(QStringLiteral("name")).toString();
        names << (name.isEmpty() ? QStringLiteral("(no name)") : name);
    }
    return names.isEmpty() ? QStringLiteral("-") : names.join(QStringLiteral(", "));
}

void printTable(const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        out(line + QLatin1Char('\n'));
    }
}

int runList(const QStringList &args)
{
    CommandLine cl("list");
    const QCommandLineOption recordedOption = cl.recordedOption(), jsonOption = cl.jsonOption();
    if (const std::optional<int> exit = cl.parse(args, 0, 0))
        return *exit;
    const bool json = cl.parser().isSet(jsonOption);
    const QString recorded = cl.parser().value(recordedOption);
    std::unique_ptr<Registry> registry;
    if (!recorded.isEmpty() && QFileInfo::exists(QDir(recorded).filePath(QStringLiteral("devices.json")))
        && !QFileInfo::exists(QDir(recorded).filePath(QStringLiteral("registry.json")))) {
        // A capture-udev folder: rebuild the tree the way this machine would.
        QString error;
        const auto source = CapturedDeviceSource::open(recorded, &error);
        if (!source) {
            err(QStringLiteral("corvanectl list: cannot open captured devices %1\n").arg(error));
            return 1;
        }
        registry = buildUdevRegistry(*source);
    } else if (!recorded.isEmpty()) {
        QString error;
        registry = openRecordedRegistry(recorded, &error);
        if (!registry) {
            err(QStringLiteral("corvanectl list: cannot open recorded set %1\n").arg(error));
            return 1;
        }
    } else {
        registry = openSystemRegistry();
    }
    DriveEnumerator enumerator(*registry);
    const DriveInformation &drives = enumerator.driveInformation();
    const QStringList names = enumerator.sortedBSDNames();

    if (json) {
        QJsonArray array;
        for (const QString &name : names)
            array.append(QJsonValue::fromVariant(drives.value(name)));
        out(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    } else if (!names.isEmpty()) {
        QList<QStringList> rows{{QStringLiteral("NAME"), QStringLiteral("MODEL"), QStringLiteral("SERIAL"),
                                 QStringLiteral("CAPACITY"), QStringLiteral("CONNECTION"), QStringLiteral("VOLUMES")}};
        for (const QString &name : names) {
            const QVariantMap s = drives.value(name);
            auto text = [&](const char *key) {
                const QString v = s.value(QString::fromLatin1(key)).toString().trimmed();
                return v.isEmpty() ? QStringLiteral("-") : v;
            };
            rows.append({name, text("Device Model"), text("Serial Number"),
                         formatCapacity(s.value(QStringLiteral("User Capacity")).toLongLong()), text("Loc-Con"),
                         volumesText(s.value(QStringLiteral("volumes")).toList())});
        }
        printTable(rows);
    }
    if (names.isEmpty()) {
        // Said on stderr under --json, so the JSON stays parseable.
        auto say = json ? err : out;
        say(QStringLiteral("No SMART-capable drive was found.\n"));
        if (enumerator.leftOut().isEmpty())
            say(QStringLiteral("The device tree holds no disks at all.\n"));
        for (const DriveEnumerator::LeftOut &l : enumerator.leftOut())
            say(QStringLiteral("  %1: left out because %2.\n").arg(l.bsdName, l.reason));
        if (recorded.isEmpty())
            say(QStringLiteral("Corvane reads SMART from ATA drives (SATA, or USB through a SAT bridge) and NVMe drives; "
                               "virtual disks of a virtual machine have none.\n"));
    }
    return 0;
}

const CommandRegistrar registrar("list", {"list [--recorded DIR] [--json]",
                                          "list the SMART-capable drives (of a recorded set with --recorded)", runList});

} // namespace

} // namespace corvane::cli
