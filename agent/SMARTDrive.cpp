// SPDX-License-Identifier: GPL-3.0-or-later
#include "SMARTDrive.h"

#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcWidgetFile, "corvane.agent.widget")

namespace corvane {

SMARTDrive::SMARTDrive(QString bsdName, QString hwName, QString volName, QString location,
                       QString icon, QString health)
    : id(QUuid::createUuid()), bsdName(std::move(bsdName)), hwName(std::move(hwName)),
      volName(std::move(volName)), location(std::move(location)), icon(std::move(icon)),
      health(std::move(health))
{
}

static QString text(const QVariantMap &map, const char *key)
{
    const QVariant v = map.value(QLatin1String(key));
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

std::optional<SMARTDrive> SMARTDrive::fromProperties(const QVariantMap &properties)
{
    const QVariant bsd = properties.value(QStringLiteral("bsdName"));
    if (bsd.typeId() != QMetaType::QString || bsd.toString().isEmpty())
        return std::nullopt;

    // QVariant would turn a text into a list of its characters: check types.
    QStringList names;
    const QVariant volumes = properties.value(QStringLiteral("volumes"));
    if (volumes.typeId() == QMetaType::QVariantList) {
        for (const QVariant &volume : volumes.toList())
            if (volume.typeId() == QMetaType::QVariantMap)
                names.append(text(volume.toMap(), "name"));
    }

    // Missing values are stored as empty strings; no verdict reads "-" either way.
    QString health = text(properties, "attributeHealth");
    if (health.isEmpty())
        health = QStringLiteral("-");

    SMARTDrive drive(bsd.toString(), text(properties, "Device Model"), names.join(QStringLiteral(", ")),
                     text(properties, "location"), text(properties, "diskIcon"), health);
    drive.volumeNames = names;
    return drive;
}

QVariantMap SMARTDrive::toJson() const
{
    return {{QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
            {QStringLiteral("bsdName"), bsdName},
            {QStringLiteral("hwName"), hwName},
            {QStringLiteral("volName"), volName},
            {QStringLiteral("location"), location},
            {QStringLiteral("health"), health}};
}

QByteArray encodeDrivesForWidget(const QList<SMARTDrive> &drives)
{
    QJsonArray array;
    for (const SMARTDrive &d : drives)
        array.append(QJsonObject::fromVariantMap(d.toJson()));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

bool requestWidgetReload(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kAgentObjectPath),
                                                     QLatin1String(kAgentInterface),
                                                     QLatin1String(kReloadTimelinesSignal));
    signal << QString::fromLatin1(kWidgetKind);
    return QDBusConnection(bus).send(signal);
}

WidgetWrite writeDrivesForWidget(const QList<SMARTDrive> &drives, const QString &container,
                                 const QDBusConnection &bus)
{
    if (container.isEmpty() || !QDir().mkpath(container))
        return WidgetWrite::NoContainer;

    WidgetWrite result = WidgetWrite::Written;
    QSaveFile file(QDir(container).filePath(QLatin1String(kWidgetDataFileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(encodeDrivesForWidget(drives)) < 0 || !file.commit()) {
        qCWarning(lcWidgetFile).noquote() << "Cannot write" << file.fileName() + ":" << file.errorString();
        result = WidgetWrite::WriteFailed;
    }
    // The widget also watches the file; the signal only makes it quicker.
    requestWidgetReload(bus);
    return result;
}

} // namespace corvane
