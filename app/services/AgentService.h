// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace corvane::app {

class CommandRunner;

// Installs, starts and stops the background agent.
class AgentService
{
public:
    // The values the window acts on.
    enum Status { NotRegistered = 0, Enabled = 1, RequiresApproval = 2, NotFound = 3 };

    virtual ~AgentService() = default;
    virtual Status status() = 0;
    // Enables the agent at login and starts it now.
    virtual bool registerService(QString *error) = 0;
    // Disables it and stops it.
    virtual bool unregisterService(QString *error) = 0;
};

// The systemd user unit corvane-agent.service; where no user systemd runs, an
// XDG autostart entry plus a detached start.
class SystemdAgentService : public AgentService
{
public:
    static constexpr char kUnit[] = "corvane-agent.service";

    // `autostartDir` defaults to $XDG_CONFIG_HOME/autostart.
    explicit SystemdAgentService(CommandRunner &runner, QString agentProgram = QStringLiteral("corvane-agent"),
                                 QString autostartDir = QString());

    Status status() override;
    bool registerService(QString *error) override;
    bool unregisterService(QString *error) override;

    bool hasUserSystemd();
    QString autostartFile() const;

private:
    bool systemctl(const QStringList &arguments, QString *output);
    bool writeAutostart(QString *error);

    CommandRunner &_runner;
    QString _agentProgram;
    QString _autostartDir;
    int _userSystemd = -1; // unknown until asked once
};

} // namespace corvane::app
