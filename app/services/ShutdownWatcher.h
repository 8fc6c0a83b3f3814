// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDBusConnection>
#include <QObject>

namespace corvane::app {

// logind's PrepareForShutdown(true) on the system bus: the machine is about
// to power off or reboot.
class ShutdownWatcher : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownWatcher(const QDBusConnection &bus, QObject *parent = nullptr);

Q_SIGNALS:
    void shuttingDown();

private Q_SLOTS:
    void prepareForShutdown(bool start);
};

} // namespace corvane::app
