// SPDX-License-Identifier: GPL-3.0-or-later
#include "SMARTDrive.h"

#include <QDBusMessage>
#include <QDir>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcWidgetFile, "corvane.agent.widget")

namespace corvane {

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
