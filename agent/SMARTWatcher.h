// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "SMARTDrive.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>

class QTimer;

namespace corvane {

class DriveSource;
class Notifier;
class SharedDefaults;
class VolumeEvents;

// Decides when the drives are read, reads them through a DriveSource, keeps
// one SMARTDrive per drive, writes the widget data file after every gather
// and alerts about drives in "Warning" or "Failed" on the gathers that may.
//
// Everything runs on the thread that owns the watcher. Gathers are queued;
// a queued gather runs when the previous one has ended, never alongside it.
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

    // Queues the first (silent) gather and starts the start-up and hourly timers.
    void start();

    const QList<SMARTDrive> &smartDrives() const { return _smartDrives; }
    bool isIdle() const { return !_running && _queue.isEmpty(); }

    // One complete gather, now. False when it ended without a drive list
    // (no "ignoreAttributes" dictionary, or enumeration failed).
    bool gatherSMARTDrives(bool notify);

public Q_SLOTS:
    // "ShouldReloadDevices": a gather without alerts.
    void shouldGatherDrives();
    // The menu's "Rescan Drives".
    void rescan();
    void didMount(const QVariantMap &userInfo);
    void didUnmount(const QVariantMap &userInfo);
    // Timer ticks: {"notify": bool}; anything else counts as notify false.
    void reloadSMARTData(const QVariantMap &userInfo);

Q_SIGNALS:
    void smartDrivesChanged();
    // After every gather that produced a list.
    void gathered(bool notify);
    // The drive properties of that gather, after they were published.
    void drivesRead(const QList<QVariantMap> &drives);

private:
    void queueGather(bool notify, std::function<void()> after = {});
    void scheduleNext();
    void runNext();
    void removeUnmounted(const QString &path);
    void publish();
    void logReadError(const QVariantMap &properties);

    struct Job
    {
        bool notify;
        std::function<void()> after;
    };

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
    QList<Job> _queue;
    bool _running = false;
    bool _scheduled = false;
    // Per drive, the read failure already logged.
    QHash<QString, QString> _loggedErrors;
};

} // namespace corvane
