// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace corvane::app {

// One window per session: the first corvane takes the bus name, a later one
// hands its arguments (a widget-deeplink:// address, say) to it and leaves.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tarnholm.Corvane.Application")
public:
    static constexpr char kBusName[] = "com.tarnholm.Corvane";

    explicit SingleInstance(const QDBusConnection &bus, QObject *parent = nullptr);

    // True when this process now owns the name (or no session bus exists, so
    // there is nothing to share with).
    bool claim();
    // Hands `arguments` to the running instance; false when none answered.
    bool forward(const QStringList &arguments);

public Q_SLOTS:
    Q_SCRIPTABLE void activate(const QStringList &arguments);

Q_SIGNALS:
    void activated(const QStringList &arguments);

private:
    QDBusConnection _bus;
};

} // namespace corvane::app
