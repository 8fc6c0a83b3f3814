// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class ComTarnholmCorvane_HelperProtocolInterface;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;

namespace corvane::app {

class AgentService;

// The window's side of the background agent: registration through the
// AgentService, the session-bus connection, the build check that restarts an
// older agent at most twice, and the state the two agent menu items show.
class AgentManager : public QObject
{
    Q_OBJECT
public:
    static constexpr char kBusName[] = "com.tarnholm.Corvane-Agent.agent";
    static constexpr char kObjectPath[] = "/agent";

    AgentManager(AgentService &service, const QDBusConnection &bus, int ownBuild, QObject *parent = nullptr);
    ~AgentManager() override;

    // At launch: start an enabled agent, ask about a missing one.
    void setupAppService();
    void startAndConnectAgent();
    void stopAndDisconnectAgent();
    // "Start Monitoring" / "Stop Monitoring".
    void toggleAgent();
    // After each scan: the agent re-reads the drives too.
    void reloadAgentDrives();

    bool hasConnection() const { return bool(_connectionToService); }
    bool agentConnected() const { return _agentConnected; }
    int updateCount() const { return _updateCount; }
    int serviceStatus() const { return _serviceStatus; }
    // How long a freshly started agent may take to appear on the bus.
    void setAgentWaitTimeout(int milliseconds) { _waitMs = milliseconds; }

Q_SIGNALS:
    // The menu items' titles or visibility may have changed.
    void menuStateChanged();
    // "Monitor Drives?"
    void installAgentAlertRequested();
    // The agent is still older than the window after two restarts.
    void updateFailed();
    // The agent answered its build (or failed to).
    void versionChecked(bool ok);

private:
    void whenAgentOnBus();
    void requestVersion();
    void versionReply(QDBusPendingCallWatcher *call, int generation);

    AgentService &_service;
    QDBusConnection _bus;
    int _ownBuild;
    int _waitMs = 10000;
    int _serviceStatus = 0;
    int _updateCount = 0;
    bool _agentConnected = false;
    int _generation = 0;
    std::unique_ptr<ComTarnholmCorvane_HelperProtocolInterface> _connectionToService;
    QDBusServiceWatcher *_watcher = nullptr;
    QTimer *_waitTimer = nullptr;
};

} // namespace corvane::app
