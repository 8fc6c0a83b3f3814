// SPDX-License-Identifier: GPL-3.0-or-later
#include "SMARTWatcher.h"

#include "AlertPolicy.h"
#include "DriveSource.h"
#include "HistoryWriter.h"
#include "Notifier.h"
#include "VolumeEvents.h"
#include "database/THSmartDeviceDatabase.h"
#include "platform/Paths.h"
#include "platform/SharedDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>
#include <algorithm>

Q_LOGGING_CATEGORY(lcWatcher, "corvane.agent", QtInfoMsg)

namespace corvane {

SMARTWatcher::SMARTWatcher(DriveSource &source, SharedDefaults &defaults, QObject *parent)
    : QObject(parent), _source(source), _defaults(defaults), _container(groupContainer()),
      _bus(QDBusConnection::sessionBus())
{
    _defaults.registerDefaults(defaultSharedRegistrations());
}

SMARTWatcher::~SMARTWatcher()
{
    // The worker reads through _source and reports to this object.
    if (_worker)
        _worker->wait();
}

void SMARTWatcher::setNotifier(Notifier *notifier)
{
    _notifier = notifier;
}

void SMARTWatcher::setVolumeEvents(VolumeEvents *events)
{
    if (_volumes)
        disconnect(_volumes, nullptr, this, nullptr);
    _volumes = events;
    if (events) {
        connect(events, &VolumeEvents::didMount, this, &SMARTWatcher::didMount);
        connect(events, &VolumeEvents::didUnmount, this, &SMARTWatcher::didUnmount);
    }
}

void SMARTWatcher::start()
{
    if (_hourly)
        return;
    queueGather(false);

    _hourly = new QTimer(this);
    _hourly->setInterval(_timing.interval);
    connect(_hourly, &QTimer::timeout, this, [this] { reloadSMARTData({{QStringLiteral("notify"), true}}); });
    _hourly->start();

    _startup = new QTimer(this);
    _startup->setSingleShot(true);
    _startup->setInterval(_timing.startupDelay);
    connect(_startup, &QTimer::timeout, this, [this] { reloadSMARTData({{QStringLiteral("notify"), false}}); });
    _startup->start();
}

void SMARTWatcher::shouldGatherDrives()
{
    queueGather(false);
}

void SMARTWatcher::rescan()
{
    queueGather(false, {}, true);
}

void SMARTWatcher::reloadSMARTData(const QVariantMap &userInfo)
{
    const QVariant notify = userInfo.value(QStringLiteral("notify"));
    queueGather(notify.typeId() == QMetaType::Bool && notify.toBool());
}

void SMARTWatcher::didMount(const QVariantMap &userInfo)
{
    const QVariant path = userInfo.value(QLatin1String(kDevicePathKey));
    if (path.typeId() != QMetaType::QString)
        return;
    qCInfo(lcWatcher).noquote() << "Mounted: " + path.toString();
    queueGather(true);
}

void SMARTWatcher::didUnmount(const QVariantMap &userInfo)
{
    qCDebug(lcWatcher) << "Hello from unmounted";
    const QVariant path = userInfo.value(QLatin1String(kDevicePathKey));
    if (path.typeId() != QMetaType::QString)
        return;
    qCInfo(lcWatcher).noquote() << "Unmounted: " + path.toString();
    queueGather(false, [this, p = path.toString()] { removeUnmounted(p); });
}

void SMARTWatcher::queueGather(bool notify, std::function<void()> after, bool wakeAll)
{
    _pending.requested = true;
    _pending.notify = _pending.notify || notify;
    _pending.wakeAll = _pending.wakeAll || wakeAll;
    if (after)
        _pending.after.append(std::move(after));
    scheduleNext();
}

void SMARTWatcher::scheduleNext()
{
    if (_scheduled)
        return;
    _scheduled = true;
    QTimer::singleShot(0, this, [this] {
        _scheduled = false;
        runNext();
    });
}

void SMARTWatcher::runNext()
{
    if (_running || !_pending.requested)
        return;
    const Job job = std::exchange(_pending, Job());
    const std::optional<QVariantMap> ignore = ignoreAttributes();
    if (!ignore) {
        finishQueued(job, std::nullopt, 0);
        return;
    }
    _running = true;
    DriveSource &source = _source;
    _worker = QThread::create([this, &source, job, ignore = *ignore, mayWake = wakePolicy(job.wakeAll)] {
        QElapsedTimer clock;
        clock.start();
        DriveList drives = readDrives(source, ignore, mayWake);
        const qint64 ms = clock.elapsed();
        QMetaObject::invokeMethod(
            this, [this, job, drives = std::move(drives), ms] { finishQueued(job, drives, ms); },
            Qt::QueuedConnection);
    });
    _worker->setObjectName(QStringLiteral("gather"));
    connect(_worker, &QThread::finished, _worker, &QObject::deleteLater);
    _worker->start();
    Q_EMIT gatherStarted();
}

void SMARTWatcher::finishQueued(const Job &job, const DriveList &drives, qint64 readMs)
{
    if (_running) {
        _worker = nullptr; // deletes itself when its thread has ended
        _running = false;
        complete(job.notify, drives, readMs);
    }
    for (const auto &after : job.after)
        after();
    if (_pending.requested)
        scheduleNext();
}

std::optional<QVariantMap> SMARTWatcher::ignoreAttributes()
{
    // Another program may have changed the settings since the last gather.
    _defaults.reload();
    std::optional<QVariantMap> ignore = _defaults.dictionaryValue(QLatin1String(kIgnoreAttributesKey));
    if (!ignore)
        qCWarning(lcWatcher) << "Gather skipped: the stored \"ignoreAttributes\" is not a dictionary";
    return ignore;
}

WakePolicy SMARTWatcher::wakePolicy(bool wakeAll)
{
    if (wakeAll)
        return [](const QString &) { return true; };
    _wake.setWakeHours(_defaults.value(QLatin1String(kWakeSleepingDrivesKey)).toInt());
    return _wake.policy();
}

SMARTWatcher::DriveList SMARTWatcher::readDrives(DriveSource &source, const QVariantMap &ignore,
                                                 const WakePolicy &mayWake)
{
    // The main application replaces drivedb.h when it updates it.
    if (THSmartDeviceDatabase::reloadIfChanged())
        qCInfo(lcWatcher) << "The drive database changed; read it again";
    return source.readAwakeDrives(ignore, mayWake);
}

bool SMARTWatcher::gatherSMARTDrives(bool notify, bool wakeAll)
{
    const std::optional<QVariantMap> ignore = ignoreAttributes();
    if (!ignore)
        return false;
    QElapsedTimer clock;
    clock.start();
    DriveList drives = readDrives(_source, *ignore, wakePolicy(wakeAll));
    return complete(notify, std::move(drives), clock.elapsed());
}

bool SMARTWatcher::complete(bool notify, DriveList drives, qint64 readMs)
{
    if (!drives) {
        qCWarning(lcWatcher) << "Gather skipped: the drives could not be listed";
        return false;
    }
    std::stable_sort(drives->begin(), drives->end(), [](const QVariantMap &a, const QVariantMap &b) {
        return driveNameLess(a.value(QStringLiteral("bsdName")).toString(),
                             b.value(QStringLiteral("bsdName")).toString());
    });

    QList<SMARTDrive> list;
    list.reserve(drives->size());
    _mounted.clear();
    QSet<QString> listed;
    for (QVariantMap &properties : *drives) {
        keepAsleep(properties);
        listed.insert(properties.value(QStringLiteral("bsdName")).toString());
    }
    _lastRead.removeIf([&](const auto &it) { return !listed.contains(it.key()); });
    for (const QVariantMap &properties : std::as_const(*drives)) {
        std::optional<SMARTDrive> drive = SMARTDrive::fromProperties(properties);
        if (!drive)
            continue;
        logReadError(properties);
        _mounted.insert(drive->bsdName, properties.value(QLatin1String(kVolumesMountedKey)).toBool());
        list.append(*drive);
    }
    // Publish, write the data file and signal the widget, then alert.
    _smartDrives = std::move(list);
    Q_EMIT smartDrivesChanged();
    publish();
    Q_EMIT drivesRead(*drives);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const GatherSamples samples = gatherSamples(*drives, now);
    Q_EMIT sampled(samples.read);
    if (notify && _notifier)
        alertAboutNews(*drives, samples.perDrive, now);

    QStringList verdicts;
    for (const SMARTDrive &d : std::as_const(_smartDrives))
        verdicts.append(d.bsdName + QLatin1Char(' ') + d.health + (d.asleep ? QStringLiteral(" (asleep)") : QString()));
    qCInfo(lcWatcher).noquote() << QStringLiteral("Gathered %1 drive(s)%2 in %3 ms%4")
                                       .arg(_smartDrives.size())
                                       .arg(notify ? QStringLiteral(" with alerts") : QString())
                                       .arg(readMs)
                                       .arg(verdicts.isEmpty() ? QString() : QStringLiteral(": ") + verdicts.join(QStringLiteral(", ")));
    Q_EMIT gathered(notify);
    return true;
}

void SMARTWatcher::keepAsleep(QVariantMap &properties)
{
    const QString bsd = properties.value(QStringLiteral("bsdName")).toString();
    if (!properties.value(QLatin1String(kAsleepKey)).toBool()) {
        _lastRead.insert(bsd, properties);
        _wake.noteRead(bsd);
        return;
    }
    // A sleeping drive keeps what its last read found; its volumes are today's.
    const auto last = _lastRead.constFind(bsd);
    if (last == _lastRead.constEnd())
        return;
    QVariantMap kept = *last;
    for (const char *key : {"volumes", kVolumesMountedKey, kAsleepKey})
        kept.insert(QLatin1String(key), properties.value(QLatin1String(key)));
    properties = kept;
}

void SMARTWatcher::alertAboutNews(const QList<QVariantMap> &drives, const QList<std::optional<HistorySample>> &samples,
                                  const QDateTime &now)
{
    // The notifier remembers what each drive's last alert said and tells only news.
    for (qsizetype i = 0; i < drives.size(); ++i) {
        const std::optional<SMARTDrive> drive = SMARTDrive::fromProperties(drives[i]);
        if (!drive)
            continue;
        const std::optional<HistorySample> &sample = samples[i];
        _notifier->consider(*drive, sample ? sample->drive : QString(), sample ? alertCounters(*sample) : QVariantMap(),
                            now);
    }
}

void SMARTWatcher::logReadError(const QVariantMap &properties)
{
    const QString bsd = properties.value(QStringLiteral("bsdName")).toString();
    const QString reason = properties.value(QLatin1String(kReadErrorKey)).toString();
    if (reason.isEmpty()) {
        _loggedErrors.remove(bsd);
        return;
    }
    if (_loggedErrors.value(bsd) == reason)
        return;
    _loggedErrors.insert(bsd, reason);
    qCWarning(lcWatcher).noquote() << bsd + ": SMART data not readable:" << reason;
}

void SMARTWatcher::removeUnmounted(const QString &path)
{
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    if (name.isEmpty())
        return;
    for (qsizetype i = 0; i < _smartDrives.size(); ++i) {
        const SMARTDrive &drive = _smartDrives[i];
        if (drive.volumeNames.contains(name)) {
            // A volume keeps its name after unmounting: only an ejected drive
            // (external, none of its volumes mounted) leaves the list.
            if (drive.location != QLatin1String("External") || _mounted.value(drive.bsdName)) {
                qCDebug(lcWatcher).noquote() << drive.bsdName + " stays after the unmount of" << path;
                continue;
            }
            _smartDrives.removeAt(i);
            Q_EMIT smartDrivesChanged();
            publish();
            return;
        }
    }
}

void SMARTWatcher::publish()
{
    writeDrivesForWidget(_smartDrives, _container, _bus);
}

} // namespace corvane
