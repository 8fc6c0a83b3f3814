// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReloadListener.h"

#include "platform/WidgetCenter.h"

namespace corvane::widget {

ReloadListener::ReloadListener(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus))
{
    if (m_bus.isConnected())
        m_listening = m_bus.connect(QString(), QLatin1String(kWidgetCenterPath),
                                    QLatin1String(kWidgetCenterInterface),
                                    QLatin1String(kReloadTimelinesMember), this,
                                    SLOT(onReloadTimelines(QString)));
}

ReloadListener::~ReloadListener()
{
    if (m_listening)
        m_bus.disconnect(QString(), QLatin1String(kWidgetCenterPath),
                         QLatin1String(kWidgetCenterInterface),
                         QLatin1String(kReloadTimelinesMember), this,
                         SLOT(onReloadTimelines(QString)));
}

void ReloadListener::onReloadTimelines(const QString &kind)
{
    if (kind == QLatin1String(kWidgetKind))
        Q_EMIT reloadRequested();
}

} // namespace corvane::widget
