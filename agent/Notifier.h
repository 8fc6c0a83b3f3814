// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "AlertPolicy.h"
#include "SMARTDrive.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
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
// Each drive has its own notification: a drive's new alert replaces only its
// own earlier one (the id the server returned is passed back as replaces_id),
// so one drive's Warning never hides another's Failed. Alerts go out one at a
// time without blocking, so each sees the id its predecessor got.
//
// Which gathers' verdicts are news is decideAlert()'s call, with the memory
// kept in an AlertMemoryStore; the alert's "Don't remind me" action silences
// the drive there.
class Notifier : public QObject
{
    Q_OBJECT
public:
    explicit Notifier(SharedDefaults &defaults, const QDBusConnection &bus = QDBusConnection::sessionBus(),
                      QObject *parent = nullptr);

    // At launch: whether a notification server answers, stored under
    // "ShouldNotifyUser" once it is known (permissionAnswered()).
    void requestPermission();

    // Where the alert memory lives; by default only in this process.
    void setMemoryStore(AlertMemoryStore *store) { _store = store ? store : &_ownMemory; }

    // A gather that may alert saw the drive (`identity`: driveIdentity(), or
    // the kernel name of a drive without one): alerts when decideAlert() says
    // it's news, with the reminder period of "alertReminderHours". Nothing,
    // not even the memory, changes without "ShouldNotifyUser".
    void consider(const SMARTDrive &drive, const QString &identity, const QVariantMap &counters,
                  const QDateTime &now = QDateTime::currentDateTimeUtc());

    // One alert for the drive, replacing the drive's own earlier one (drives
    // are told apart by `identity`, else by kernel name); nothing when
    // "ShouldNotifyUser" is false or absent.
    void notifyUser(const SMARTDrive &drive, const QString &identity = {});

    // What a click on an alert does; by default starts the main program
    // "corvane", and nothing happens when it is not installed.
    void setOpenApplication(std::function<void()> open) { _open = std::move(open); }

    // The id of the latest alert posted (0 when none is known).
    uint currentId() const { return _currentId; }
    // The id of a drive's alert on screen (0 when none is known).
    uint idOf(const QString &identity) const { return _ids.value(identity); }
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
    // "Don't remind me" was chosen on the drive's alert.
    void silenced(const QString &identity);

private Q_SLOTS:
    void actionInvoked(uint id, const QString &actionKey);

private:
    struct Alert
    {
        QString identity;
        QString health;
        QString subtitle;
        QString icon;
        // Whether the alert was decided on with the memory, and what the
        // store held before: put back when the alert never reaches the
        // screen, so the next gather tries again.
        bool remembered = false;
        std::optional<AlertMemory> previous;
    };
    bool mayNotify();
    AlertMemoryStore &storeFor(const QString &key);
    void enqueue(Alert alert);
    void sendNext();
    void undo(const Alert &alert);
    void silence(uint id);

    SharedDefaults &_defaults;
    QDBusConnection _bus;
    std::function<void()> _open;
    MemoryAlertStore _ownMemory;
    AlertMemoryStore *_store = &_ownMemory;
    QList<Alert> _queue;
    // Drive identity -> its notification's id, and back (with the health alerted).
    QHash<QString, uint> _ids;
    QHash<uint, std::pair<QString, QString>> _alerted;
    uint _currentId = 0;
    bool _inFlight = false;
    bool _failureLogged = false;
};

} // namespace corvane
