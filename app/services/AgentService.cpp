// SPDX-License-Identifier: GPL-3.0-or-later
#include "services/AgentService.h"

#include "services/CommandRunner.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <csignal>

namespace corvane::app {

namespace {
const QString kAgentBusName = QStringLiteral("com.tarnholm.Corvane-Agent.agent");
}

SystemdAgentService::SystemdAgentService(CommandRunner &runner, QString agentProgram, QString autostartDir)
    : _runner(runner)
    , _agentProgram(std::move(agentProgram))
    , _autostartDir(std::move(autostartDir))
{
    if (_autostartDir.isEmpty()) {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        _autostartDir = (QDir::isAbsolutePath(config) ? config : QDir::homePath() + QStringLiteral("/.config"))
                        + QStringLiteral("/autostart");
    }
}

QString SystemdAgentService::autostartFile() const
{
    return _autostartDir + QStringLiteral("/corvane-agent.desktop");
}

bool SystemdAgentService::systemctl(const QStringList &arguments, QString *output)
{
    return _runner.run(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments, output) == 0;
}

bool SystemdAgentService::hasUserSystemd()
{
    if (_userSystemd < 0) {
        QString output;
        // Answers only when a user manager runs (not in containers, not under
        // desktops started without one).
        _userSystemd = systemctl({QStringLiteral("show-environment")}, &output) ? 1 : 0;
    }
    return _userSystemd == 1;
}

AgentService::Status SystemdAgentService::status()
{
    if (hasUserSystemd()) {
        QString output;
        systemctl({QStringLiteral("is-enabled"), QLatin1String(kUnit)}, &output);
        // "disabled", "not-found", "masked", ...: not registered.
        return output == QLatin1String("enabled") ? Enabled : NotRegistered;
    }
    QSettings entry(autostartFile(), QSettings::IniFormat);
    if (!QFile::exists(autostartFile()) || entry.value(QStringLiteral("Desktop Entry/Hidden")).toBool())
        return NotRegistered;
    return Enabled;
}

bool SystemdAgentService::registerService(QString *error)
{
    if (hasUserSystemd()) {
        QString output;
        if (systemctl({QStringLiteral("enable"), QStringLiteral("--now"), QLatin1String(kUnit)}, &output))
            return true;
        if (error)
            *error = output.isEmpty() ? QStringLiteral("systemctl --user enable failed") : output;
        return false;
    }
    if (!writeAutostart(error))
        return false;
    if (QDBusConnection::sessionBus().interface()
        && QDBusConnection::sessionBus().interface()->isServiceRegistered(kAgentBusName))
        return true; // already running
    if (_runner.startDetached(_agentProgram, {}))
        return true;
    if (error)
        *error = QStringLiteral("cannot start %1").arg(_agentProgram);
    return false;
}

bool SystemdAgentService::writeAutostart(QString *error)
{
    QDir().mkpath(_autostartDir);
    QSaveFile file(autostartFile());
    const QByteArray text = "[Desktop Entry]\nType=Application\nName=Corvane Agent\n"
                            "Comment=Watches the health of your drives\nExec="
                            + _agentProgram.toUtf8() + "\nIcon=drive-harddisk\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

bool SystemdAgentService::unregisterService(QString *error)
{
    if (hasUserSystemd()) {
        QString output;
        if (systemctl({QStringLiteral("disable"), QStringLiteral("--now"), QLatin1String(kUnit)}, &output))
            return true;
        if (error)
            *error = output;
        return false;
    }
    QFile::remove(autostartFile());
    // Started detached: stop the process that owns the agent's bus name, and
    // nothing else.
    if (QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface()) {
        const QDBusReply<uint> pid = bus->servicePid(kAgentBusName);
        if (pid.isValid() && pid.value() > 1)
            ::kill(pid_t(pid.value()), SIGTERM);
    }
    return true;
}

} // namespace corvane::app
