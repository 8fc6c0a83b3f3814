// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace corvane {

inline constexpr char kAgentServiceName[] = "com.tarnholm.Corvane-Agent.agent";

// The agent's session-bus service: the name above, object "/agent",
// interface com.tarnholm.Corvane_HelperProtocol (adaptor generated from
// data/dbus/com.tarnholm.Corvane_HelperProtocol.xml). The handlers only emit
// shouldReloadDevices(), so replies never wait for a gather.
class XPCServer : public QObject
{
    Q_OBJECT
public:
    enum class Start { Listening, AlreadyRunning, NoBus };

    explicit XPCServer(QObject *parent = nullptr);

    // Exports the object and takes the name. AlreadyRunning when another
    // process owns it (the name is never queued for or taken over).
    Start start(const QDBusConnection &bus = QDBusConnection::sessionBus());

    static QString buildNumber();

public Q_SLOTS:
    // The adaptor's handlers.
    QString version();
    QString reloadAgentDrivesWithReply();
    void reloadAgentDrives();

Q_SIGNALS:
    // "ShouldReloadDevices": the watcher answers with a silent gather.
    void shouldReloadDevices();

private:
    QDBusConnection _bus{QString()};
};

} // namespace corvane
