// SPDX-License-Identifier: GPL-3.0-or-later
#include "XPCServer.h"

#include "helperprotocoladaptor.h"
#include "platform/WidgetCenter.h"

#include <QDBusConnectionInterface>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcService, "corvane.agent.service")

namespace corvane {

XPCServer::XPCServer(QObject *parent) : QObject(parent)
{
    new Corvane_HelperProtocolAdaptor(this);
}

XPCServer::Start XPCServer::start(const QDBusConnection &bus)
{
    _bus = bus;
    if (!_bus.isConnected() || !_bus.interface())
        return Start::NoBus;
    // The name first: owning it is what makes the agent single-instance.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = _bus.interface()->registerService(
        QLatin1String(kAgentServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        qCWarning(lcService).noquote() << "Cannot register" << kAgentServiceName + QLatin1String(":")
                                       << reply.error().message();
        return Start::NoBus;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered)
        return Start::AlreadyRunning;
    if (!_bus.registerObject(QLatin1String(kWidgetCenterPath), this, QDBusConnection::ExportAdaptors))
        qCWarning(lcService) << "Cannot export" << kWidgetCenterPath << "on the session bus";
    return Start::Listening;
}

QString XPCServer::buildNumber()
{
    return QString::number(CORVANE_BUILD_NUMBER);
}

QString XPCServer::version()
{
    return buildNumber();
}

QString XPCServer::reloadAgentDrivesWithReply()
{
    Q_EMIT shouldReloadDevices();
    return QStringLiteral("Requested reload");
}

void XPCServer::reloadAgentDrives()
{
    Q_EMIT shouldReloadDevices();
}

} // namespace corvane
