// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "SMARTDrive.h"
#include "history/HistoryDatabase.h"
#include "drive/PowerMode.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <chrono>
#include <functional>
#include <optional>

class QTimer;

namespace corvane {

class DriveSource;
class Notifier;
class SharedDefaults;
class VolumeEvents;

// Decides when the drives are read, reads them through a DriveSource, keeps
// one SMARTDrive per drive, writes the widget data file after every gather
// and, on the gathers that may, hands every drive to the notifier, which
// alerts about news of drives in "Warning" or "Failed".
//
// The drives are read on a worker thread, so a hung device never freezes the
// owner's thread; everything else runs on the thread that owns the watcher.
// Requests that arrive while a gather runs coalesce into one more gather
// after it (alerting when any of them may alert). Gathers never overlap.
class SMARTWatcher : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        std::chrono::milliseconds startupDelay{5000};
        std::chrono::milliseconds interval{3600 * 1000};
    };

    // Registers the watcher's defaults ("ignoreAttributes" and the menu switches).
    SMARTWatcher(DriveSource &source, SharedDefaults &defaults, QObject *parent = nullptr);
    ~SMARTWatcher() override;

    // Set before start(); all optional.
    void setNotifier(Notifier *notifier);
    void setVolumeEvents(VolumeEvents *events);
    void setTiming(Timing timing) { _timing = timing; }
    void setContainer(const QString &folder) { _container = folder; }
    void setBus(const QDBusConnection &bus) { _bus = bus; }

    // The clock of the wake schedule (tests).
    void setWakeClock(WakeSchedule::Clock clock) { _wake = WakeSchedule(std::move(clock)); }

    // Queues the first (silent) gather and starts the start-up and hourly timers.
    void start();

    const QList<SMARTDrive> &smartDrives() const { return _smartDrives; }
    bool isIdle() const { return !_running && !_pending.requested; }
    // A gather is reading drives on the worker thread.
    bool isGathering() const { return _running; }

    // One complete gather, now, reading on the calling thread (benchmarks,
    // tests); not while queued gathers run. False when it ended without a
    // drive list (no "ignoreAttributes" dictionary, or enumeration failed).
    // Rotating drives asleep are read only when `wakeAll` is true or the
    // "wakeSleepingDrives" schedule says they are due; the others keep their
    // last summary, marked asleep.
    bool gatherSMARTDrives(bool notify, bool wakeAll = false);

public Q_SLOTS:
    // "ShouldReloadDevices": a gather without alerts.
    void shouldGatherDrives();
    // The menu's "Rescan Drives": reads every drive, waking those asleep.
    void rescan();
    void didMount(const QVariantMap &userInfo);
    void didUnmount(const QVariantMap &userInfo);
    // Timer ticks: {"notify": bool}; anything else counts as notify false.
    void reloadSMARTData(const QVariantMap &userInfo);

Q_SIGNALS:
    void smartDrivesChanged();
    // A queued gather handed its reads to the worker thread.
    void gatherStarted();
    // After every gather that produced a list.
    void gathered(bool notify);
    // The drive properties of that gather, after they were published.
    void drivesRead(const QList<QVariantMap> &drives);
    // Then the history samples of the drives it read (none for drives
    // asleep), built once per gather; the alerts use the same.
    void sampled(const QList<HistorySample> &samples);

private:
    struct Job
    {
        bool requested = false;
        bool notify = false;
        bool wakeAll = false;
        QList<std::function<void()>> after;
    };
    using DriveList = std::optional<QList<QVariantMap>>;

    void queueGather(bool notify, std::function<void()> after = {}, bool wakeAll = false);
    WakePolicy wakePolicy(bool wakeAll);
    void keepAsleep(QVariantMap &properties);
    void scheduleNext();
    void runNext();
    void finishQueued(const Job &job, const DriveList &drives, qint64 readMs);
    std::optional<QVariantMap> ignoreAttributes();
    static DriveList readDrives(DriveSource &source, const QVariantMap &ignore, const WakePolicy &mayWake);
    bool complete(bool notify, DriveList drives, qint64 readMs);
    void alertAboutNews(const QList<QVariantMap> &drives, const QList<std::optional<HistorySample>> &samples,
                        const QDateTime &now);
    void removeUnmounted(const QString &path);
    void publish();
    void logReadError(const QVariantMap &properties);

    DriveSource &_source;
    SharedDefaults &_defaults;
    QPointer<Notifier> _notifier;
    QPointer<VolumeEvents> _volumes;
    Timing _timing;
    QString _container;
    QDBusConnection _bus;
    QTimer *_hourly = nullptr;
    QTimer *_startup = nullptr;

    QList<SMARTDrive> _smartDrives;
    // Per drive, whether any of its volumes was mounted at the last gather.
    QHash<QString, bool> _mounted;
    Job _pending;
    QPointer<QThread> _worker;
    bool _running = false;
    bool _scheduled = false;
    // Per drive, the properties of its last read, kept while it sleeps.
    QHash<QString, QVariantMap> _lastRead;
    WakeSchedule _wake;
    // Per drive, the read failure already logged.
    QHash<QString, QString> _loggedErrors;
};

} // namespace corvane
