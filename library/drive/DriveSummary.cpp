// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveSummary.h"

#include "drive/KernelNameOrder.h"
#include "drive/PowerMode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace corvane {

namespace {

const QString kId = QStringLiteral("id");
const QString kBsdName = QStringLiteral("bsdName");
const QString kHwName = QStringLiteral("hwName");
const QString kVolName = QStringLiteral("volName");
const QString kLocation = QStringLiteral("location");
const QString kHealth = QStringLiteral("health");
const QString kAsleep = QLatin1String(kAsleepKey);

QString text(const QVariantMap &map, const char *key)
{
    const QVariant v = map.value(QLatin1String(key));
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

} // namespace

SMARTDrive::SMARTDrive(QString bsdName, QString hwName, QString volName, QString location,
                       QString icon, QString health)
    : id(QUuid::createUuid()), bsdName(std::move(bsdName)), hwName(std::move(hwName)),
      volName(std::move(volName)), location(std::move(location)), icon(std::move(icon)),
      health(std::move(health))
{
}

std::optional<SMARTDrive> SMARTDrive::fromProperties(const QVariantMap &properties)
{
    const QVariant bsd = properties.value(QStringLiteral("bsdName"));
    if (bsd.typeId() != QMetaType::QString || bsd.toString().isEmpty())
        return std::nullopt;

    // QVariant would turn a text into a list of its characters: check types.
    // A volume without a name (a swap or an unformatted partition) adds none.
    QStringList names;
    const QVariant volumes = properties.value(QStringLiteral("volumes"));
    if (volumes.typeId() == QMetaType::QVariantList) {
        for (const QVariant &volume : volumes.toList()) {
            const QString name = volume.typeId() == QMetaType::QVariantMap ? text(volume.toMap(), "name") : QString();
            if (!name.isEmpty())
                names.append(name);
        }
    }

    // Missing values are stored as empty strings; no verdict reads "-" either way.
    QString health = text(properties, "attributeHealth");
    if (health.isEmpty())
        health = QStringLiteral("-");

    SMARTDrive drive(bsd.toString(), text(properties, "Device Model"), names.join(QStringLiteral(", ")),
                     text(properties, "location"), text(properties, "diskIcon"), health);
    drive.volumeNames = names;
    drive.asleep = properties.value(kAsleep).toBool();
    return drive;
}

QByteArray encodeDrivesForWidget(const QList<SMARTDrive> &drives)
{
    QJsonArray array;
    for (const SMARTDrive &d : drives) {
        QJsonObject record{{kId, d.id.toString(QUuid::WithoutBraces).toUpper()},
                           {kBsdName, d.bsdName},
                           {kHwName, d.hwName},
                           {kVolName, d.volName},
                           {kLocation, d.location},
                           {kHealth, d.health}};
        if (d.asleep)
            record.insert(kAsleep, true);
        array.append(record);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<SMARTDrive>> decodeDrivesForWidget(const QByteArray &json, QStringList *problems)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;

    QList<SMARTDrive> drives;
    const QJsonArray records = document.array();
    drives.reserve(records.size());
    for (const QJsonValue &value : records) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject record = value.toObject();
        SMARTDrive drive;
        QString id;
        const std::pair<const QString *, QString *> required[] = {
            {&kId, &id}, {&kHwName, &drive.hwName}, {&kVolName, &drive.volName},
            {&kLocation, &drive.location}, {&kBsdName, &drive.bsdName},
        };
        for (const auto &[key, field] : required) {
            const QJsonValue member = record.value(*key);
            if (!member.isString())
                return std::nullopt;
            *field = member.toString();
        }
        drive.id = QUuid::fromString(id);
        drive.volumeNames = drive.volName.split(QStringLiteral(", "), Qt::SkipEmptyParts);
        const QJsonValue health = record.value(kHealth);
        if (!health.isString()) {
            if (problems) {
                *problems << (health.isUndefined() ? QStringLiteral("no value for key \"health\" in record \"%1\"")
                                                   : QStringLiteral("\"health\" of record \"%1\" is not text"))
                                 .arg(id);
            }
            continue;
        }
        drive.health = health.toString();
        drive.asleep = record.value(kAsleep).toBool();
        drives.append(std::move(drive));
    }
    std::stable_sort(drives.begin(), drives.end(), [](const SMARTDrive &a, const SMARTDrive &b) {
        return kernelNameLess(a.bsdName, b.bsdName);
    });
    return drives;
}

} // namespace corvane
