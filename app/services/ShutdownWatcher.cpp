// SPDX-License-Identifier: GPL-3.0-or-later
#include "services/ShutdownWatcher.h"

namespace corvane::app {

ShutdownWatcher::ShutdownWatcher(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
{
    QDBusConnection(bus).connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                 QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForShutdown"),
                                 this, SLOT(prepareForShutdown(bool)));
}

void ShutdownWatcher::prepareForShutdown(bool start)
{
    if (start)
        Q_EMIT shuttingDown();
}

} // namespace corvane::app
