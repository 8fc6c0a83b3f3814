// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "SMARTDrive.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>

namespace corvane {

class SharedDefaults;

// Starts the main program "corvane" detached; logs when it isn't installed.
void openMainApplication();

inline constexpr char kNotificationsService[] = "org.freedesktop.Notifications";
inline constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";
inline constexpr char kNotificationsInterface[] = "org.freedesktop.Notifications";

// Desktop notifications of drives in trouble, over org.freedesktop.Notifications.
// Every alert replaces the previous one: the id the server returned is passed
// back as replaces_id. Alerts go out one at a time without blocking, so each
// sees the id its predecessor got.
class Notifier : public QObject
{
    Q_OBJECT
public:
    explicit Notifier(SharedDefaults &defaults, const QDBusConnection &bus = QDBusConnection::sessionBus(),
                      QObject *parent = nullptr);

    // At launch: whether a notification server answers, stored under
    // "ShouldNotifyUser" once it is known (permissionAnswered()).
    void requestPermission();

    // One alert for the drive; nothing when "ShouldNotifyUser" is false or absent.
    void notifyUser(const SMARTDrive &drive);

    // What a click on an alert does; by default starts the main program
    // "corvane", and nothing happens when it is not installed.
    void setOpenApplication(std::function<void()> open) { _open = std::move(open); }

    // The id of the alert on screen (0 when none is known).
    uint currentId() const { return _currentId; }
    // No alert waiting for the server.
    bool isIdle() const { return !_inFlight && _queue.isEmpty(); }
    // Alerts waiting behind the one in flight (at most a few).
    qsizetype queued() const { return _queue.size(); }

    static QString alertTitle() { return QStringLiteral("Corvane Alert"); }
    static QString alertSubtitle(const SMARTDrive &drive) { return drive.hwName + QLatin1Char(' ') + drive.health; }
    static QString alertBody() { return QStringLiteral("Open Corvane for details..."); }

Q_SIGNALS:
    void permissionAnswered(bool granted);
    void posted(uint id);
    void postFailed(const QString &error);

private Q_SLOTS:
    void actionInvoked(uint id, const QString &actionKey);

private:
    struct Alert
    {
        QString subtitle;
        QString icon;
    };
    void sendNext();

    SharedDefaults &_defaults;
    QDBusConnection _bus;
    std::function<void()> _open;
    QList<Alert> _queue;
    QSet<uint> _ours;
    uint _currentId = 0;
    bool _inFlight = false;
    bool _failureLogged = false;
};

} // namespace corvane
