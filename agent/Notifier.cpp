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

void Notifier::notifyUser(const SMARTDrive &drive)
{
    if (!_defaults.boolValue(QLatin1String(kShouldNotifyUserKey)))
        return;
    if (!_bus.isConnected()) {
        if (!_failureLogged)
            qCWarning(lcNotifier) << "Cannot show a notification: no session bus";
        _failureLogged = true;
        return;
    }
    if (_queue.size() >= kMaxQueued)
        _queue.removeFirst();
    _queue.append({alertSubtitle(drive), drive.icon.isEmpty() ? QStringLiteral("drive-harddisk") : drive.icon});
    sendNext();
}

void Notifier::sendNext()
{
    if (_inFlight || _queue.isEmpty())
        return;
    const Alert alert = _queue.takeFirst();
    QDBusMessage call = notificationsCall("Notify");
    // The protocol has no subtitle: it leads the body.
    call << QStringLiteral("Corvane") << _currentId << alert.icon << alertTitle()
         << alert.subtitle + QLatin1Char('\n') + alertBody()
         << QStringList{QStringLiteral("default"), QStringLiteral("Open Corvane")}
         << QVariantMap{{QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
                        {QStringLiteral("desktop-entry"), QStringLiteral("corvane")}}
         << int(-1);
    _inFlight = true;
    auto *watcher = new QDBusPendingCallWatcher(_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        _inFlight = false;
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            // The server may be gone; a new one knows nothing of the old id.
            _currentId = 0;
            if (!_failureLogged)
                qCWarning(lcNotifier).noquote() << "Cannot show a notification:" << reply.error().message();
            _failureLogged = true;
            Q_EMIT postFailed(reply.error().message());
        } else {
            _failureLogged = false;
            _currentId = reply.value();
            _ours.insert(_currentId);
            Q_EMIT posted(_currentId);
        }
        sendNext();
    });
}

void Notifier::actionInvoked(uint id, const QString &actionKey)
{
    if (!_ours.contains(id) || actionKey != QLatin1String("default"))
        return;
    qCInfo(lcNotifier) << "Alert" << id << "clicked";
    if (_open)
        _open();
}

} // namespace corvane
