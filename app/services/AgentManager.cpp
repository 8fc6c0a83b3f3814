// SPDX-License-Identifier: GPL-3.0-or-later
#include "services/AgentManager.h"

#include "agent_interface.h"
#include "services/AgentService.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcAgentManager, "corvane.app.agent")

namespace corvane::app {

AgentManager::AgentManager(AgentService &service, const QDBusConnection &bus, int ownBuild, QObject *parent)
    : QObject(parent)
    , _service(service)
    , _bus(bus)
    , _ownBuild(ownBuild)
{
    _watcher = new QDBusServiceWatcher(QLatin1String(kBusName), _bus, QDBusServiceWatcher::WatchForRegistration, this);
    _waitTimer = new QTimer(this);
    _waitTimer->setSingleShot(true);
    connect(_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (_waitTimer->isActive()) {
            _waitTimer->stop();
            requestVersion();
        }
    });
    connect(_waitTimer, &QTimer::timeout, this, &AgentManager::requestVersion);
}

AgentManager::~AgentManager() = default;

void AgentManager::setupAppService()
{
    _serviceStatus = _service.status();
    switch (_serviceStatus) {
    case AgentService::Enabled:
        startAndConnectAgent();
        break;
    case AgentService::NotRegistered:
    case AgentService::NotFound:
        Q_EMIT installAgentAlertRequested();
        break;
    default:
        break;
    }
    Q_EMIT menuStateChanged();
}

void AgentManager::startAndConnectAgent()
{
    if (_connectionToService) {
        Q_EMIT menuStateChanged();
        return;
    }
    QString error;
    if (!_service.registerService(&error)) {
        qCWarning(lcAgentManager, "Error registering service: %s", qPrintable(error));
        Q_EMIT menuStateChanged();
        return;
    }
    _connectionToService = std::make_unique<ComTarnholmCorvane_HelperProtocolInterface>(
        QLatin1String(kBusName), QLatin1String(kObjectPath), _bus);
    ++_generation;
    Q_EMIT menuStateChanged();
    whenAgentOnBus();
}

void AgentManager::whenAgentOnBus()
{
    // A just-started agent needs a moment to take its name; asking before
    // would only fail.
    if (_bus.interface() && _bus.interface()->isServiceRegistered(QLatin1String(kBusName)))
        requestVersion();
    else
        _waitTimer->start(_waitMs);
}

void AgentManager::requestVersion()
{
    if (!_connectionToService)
        return;
    const int generation = _generation;
    auto *call = new QDBusPendingCallWatcher(_connectionToService->version(), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher *c) { versionReply(c, generation); });
}

void AgentManager::versionReply(QDBusPendingCallWatcher *call, int generation)
{
    call->deleteLater();
    if (generation != _generation)
        return; // a connection dropped since
    const QDBusPendingReply<QString> reply = *call;
    if (reply.isError()) {
        qCWarning(lcAgentManager, "APP connectToHelper remote-proxy-error(%d): %s", int(reply.error().type()),
                  qPrintable(reply.error().message()));
        Q_EMIT versionChecked(false);
        return;
    }
    _agentConnected = true;
    // No number counts as 0: such an agent is older than any build.
    const int agentBuild = reply.value().trimmed().toInt();
    if (agentBuild < _ownBuild && _updateCount <= 1) {
        qCInfo(lcAgentManager, "agent build %d is older than %d: restarting it", agentBuild, _ownBuild);
        stopAndDisconnectAgent();
        _agentConnected = false;
        startAndConnectAgent();
        ++_updateCount;
        if (_updateCount >= 2)
            Q_EMIT updateFailed();
    }
    Q_EMIT versionChecked(true);
    Q_EMIT menuStateChanged();
}

void AgentManager::stopAndDisconnectAgent()
{
    _connectionToService.reset();
    _waitTimer->stop();
    ++_generation;
    QString error;
    if (!_service.unregisterService(&error))
        qCWarning(lcAgentManager, "stopping the agent: %s", qPrintable(error));
    Q_EMIT menuStateChanged();
}

void AgentManager::toggleAgent()
{
    _serviceStatus = _service.status();
    if (_serviceStatus == AgentService::NotRegistered)
        startAndConnectAgent();
    else if (_serviceStatus == AgentService::Enabled)
        stopAndDisconnectAgent();
}

void AgentManager::reloadAgentDrives()
{
    if (_connectionToService)
        _connectionToService->reloadAgentDrives();
}

} // namespace corvane::app
