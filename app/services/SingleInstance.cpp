// SPDX-License-Identifier: GPL-3.0-or-later
#include "services/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace corvane::app {

SingleInstance::SingleInstance(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , _bus(bus)
{
}

bool SingleInstance::claim()
{
    if (!_bus.isConnected())
        return true;
    if (!_bus.registerService(QLatin1String(kBusName)))
        return false;
    _bus.registerObject(QStringLiteral("/app"), this, QDBusConnection::ExportScriptableSlots);
    return true;
}

bool SingleInstance::forward(const QStringList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kBusName), QStringLiteral("/app"),
                                                       QStringLiteral("com.tarnholm.Corvane.Application"),
                                                       QStringLiteral("activate"));
    call << arguments;
    // The running window may be in this very process (tests): keep events flowing.
    return _bus.call(call, QDBus::BlockWithGui, 5000).type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::activate(const QStringList &arguments)
{
    Q_EMIT activated(arguments);
}

} // namespace corvane::app
