// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session bus of the test's own (a private dbus-daemon, stopped with the object), so that
// tests neither need nor disturb the user's.
#include "support/EventLoop.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>

namespace corvane::test {

class PrivateBus
{
public:
    PrivateBus()
    {
        app();
        _daemon.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (_daemon.waitForStarted(10000)) {
            while (!_daemon.canReadLine() && _daemon.waitForReadyRead(10000)) {
            }
            _address = QString::fromUtf8(_daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus()
    {
        for (const QString &name : std::as_const(_names))
            QDBusConnection::disconnectFromBus(name);
        _daemon.terminate();
        _daemon.waitForFinished(10000);
    }
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isRunning() const { return !_address.isEmpty(); }
    QString address() const { return _address; }

    // A new connection of its own (its own unique name on the bus).
    QDBusConnection connect()
    {
        static int counter = 0;
        const QString name = QStringLiteral("test-connection-%1").arg(++counter);
        _names.append(name);
        return QDBusConnection::connectToBus(_address, name);
    }

private:
    QProcess _daemon;
    QString _address;
    QStringList _names;
};

} // namespace corvane::test
