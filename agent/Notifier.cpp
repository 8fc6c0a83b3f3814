// SPDX-License-Identifier: GPL-3.0-or-later
#include "Notifier.h"

#include "platform/SharedDefaults.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcNotifier, "corvane.agent.notifications")

namespace corvane {

// A server that doesn't answer must not hold alerts back for long.
static constexpr int kCallTimeoutMs = 10000;
// Every alert replaces the one before, so only the latest few matter; a
// server that never answers must not make the queue grow without end.
static constexpr qsizetype kMaxQueued = 8;

static QDBusMessage notificationsCall(const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(kNotificationsService), QLatin1String(kNotificationsPath),
                                          QLatin1String(kNotificationsInterface), QLatin1String(method));
}

void openMainApplication()
{
    if (!QProcess::startDetached(QStringLiteral("corvane"), {}))
        qCInfo(lcNotifier) << "Corvane is not installed; nothing to open";
}

Notifier::Notifier(SharedDefaults &defaults, const QDBusConnection &bus, QObject *parent)
    : QObject(parent), _defaults(defaults), _bus(bus)
{
    _open = [] { openMainApplication(); };
    _bus.connect(QString(), QLatin1String(kNotificationsPath), QLatin1String(kNotificationsInterface),
                 QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
}

void Notifier::requestPermission()
{
    auto *watcher = new QDBusPendingCallWatcher(
        _bus.asyncCall(notificationsCall("GetServerInformation"), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const bool granted = !w->isError();
        if (!granted)
            qCWarning(lcNotifier).noquote() << "No desktop notifications:" << w->error().message();
        _defaults.setValue(QLatin1String(kShouldNotifyUserKey), granted);
        Q_EMIT permissionAnswered(granted);
    });
}

bool Notifier::mayNotify()
{
    if (!_defaults.boolValue(QLatin1String(kShouldNotifyUserKey)))
        return false;
    if (!_bus.isConnected()) {
        if (!_failureLogged)
            qCWarning(lcNotifier) << "Cannot show a notification: no session bus";
        _failureLogged = true;
        return false;
    }
    return true;
}

void Notifier::consider(const SMARTDrive &drive, const QString &identity, const QVariantMap &counters,
                        const QDateTime &now)
{
    if (!mayNotify())
        return;
    const QString key = identity.isEmpty() ? drive.bsdName : identity;
    AlertMemoryStore &store = storeFor(key);
    const std::optional<AlertMemory> before = store.alertMemory(key);
    const auto reminder = std::chrono::hours(alertReminderHours(_defaults.value(QLatin1String(kAlertReminderHoursKey))));
    const AlertDecision decision = decideAlert(drive.health, counters, before, now, reminder);
    if (decision.memory && !store.setAlertMemory(key, *decision.memory))
        qCWarning(lcNotifier).noquote() << "Cannot remember the alert state of" << key;
    if (decision.alert)
        enqueue({key, drive.health, alertSubtitle(drive), drive.icon, true, before});
}

AlertMemoryStore &Notifier::storeFor(const QString &key)
{
    // A drive without an identity ("<model>|<serial>") is known only by its
    // kernel name, which another drive may have had: not worth keeping.
    return key.contains(QLatin1Char('|')) ? *_store : _ownMemory;
}

void Notifier::notifyUser(const SMARTDrive &drive, const QString &identity)
{
    if (mayNotify())
        enqueue({identity.isEmpty() ? drive.bsdName : identity, drive.health, alertSubtitle(drive), drive.icon, false, {}});
}

void Notifier::enqueue(Alert alert)
{
    if (alert.icon.isEmpty())
        alert.icon = QStringLiteral("drive-harddisk");
    // A drive's newer alert takes the place of its waiting one; the memory
    // to put back is the one from before both.
    for (Alert &waiting : _queue) {
        if (waiting.identity == alert.identity) {
            if (waiting.remembered) {
                alert.remembered = true;
                alert.previous = waiting.previous;
            }
            waiting = std::move(alert);
            sendNext();
            return;
        }
    }
    if (_queue.size() >= kMaxQueued)
        undo(_queue.takeFirst());
    _queue.append(std::move(alert));
    sendNext();
}

void Notifier::undo(const Alert &alert)
{
    // The history can't forget a drive: a memory without a verdict counts as none.
    if (alert.remembered
        && !storeFor(alert.identity).setAlertMemory(alert.identity,
                                                    alert.previous.value_or(AlertMemory{QStringLiteral("-"), {}, {}, false})))
        qCWarning(lcNotifier).noquote() << "Cannot remember the alert state of" << alert.identity;
}

void Notifier::sendNext()
{
    if (_inFlight || _queue.isEmpty())
        return;
    const Alert alert = _queue.takeFirst();
    QDBusMessage call = notificationsCall("Notify");
    // The protocol has no subtitle: it leads the body.
    call << QStringLiteral("Corvane") << _ids.value(alert.identity) << alert.icon << alertTitle()
         << alert.subtitle + QLatin1Char('\n') + alertBody()
         << QStringList{QStringLiteral("default"), QStringLiteral("Open Corvane"), QStringLiteral("silence"),
                        QStringLiteral("Don't remind me")}
         << QVariantMap{{QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
                        {QStringLiteral("desktop-entry"), QStringLiteral("corvane")}}
         << int(-1);
    _inFlight = true;
    auto *watcher = new QDBusPendingCallWatcher(_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, alert](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        _inFlight = false;
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            // The server may be gone; a new one knows nothing of the old ids.
            _currentId = 0;
            _ids.clear();
            undo(alert);
            if (!_failureLogged)
                qCWarning(lcNotifier).noquote() << "Cannot show a notification:" << reply.error().message();
            _failureLogged = true;
            Q_EMIT postFailed(reply.error().message());
        } else {
            _failureLogged = false;
            _currentId = reply.value();
            _ids.insert(alert.identity, _currentId);
            _alerted.insert(_currentId, {alert.identity, alert.health});
            Q_EMIT posted(_currentId);
        }
        sendNext();
    });
}

void Notifier::actionInvoked(uint id, const QString &actionKey)
{
    if (!_alerted.contains(id))
        return;
    if (actionKey == QLatin1String("silence")) {
        silence(id);
        return;
    }
    if (actionKey != QLatin1String("default"))
        return;
    qCInfo(lcNotifier) << "Alert" << id << "clicked";
    if (_open)
        _open();
}

void Notifier::silence(uint id)
{
    const auto [identity, health] = _alerted.value(id);
    AlertMemoryStore &store = storeFor(identity);
    AlertMemory memory = store.alertMemory(identity).value_or(AlertMemory{});
    if (healthRank(memory.health) < 0) // alerted without a memory (notifyUser())
        memory = {health, {}, QDateTime::currentDateTimeUtc(), false};
    memory.silenced = true;
    qCInfo(lcNotifier).noquote() << "No more reminders for" << identity << "until it gets worse";
    if (!store.setAlertMemory(identity, memory))
        qCWarning(lcNotifier).noquote() << "Cannot remember the alert state of" << identity;
    Q_EMIT silenced(identity);
}

} // namespace corvane
