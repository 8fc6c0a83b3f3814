// SPDX-License-Identifier: GPL-3.0-or-later
#include "SMARTWatcher.h"

#include "DriveSource.h"
#include "Notifier.h"
#include "VolumeEvents.h"
#include "platform/Paths.h"
#include "platform/SharedDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
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

SMARTWatcher::~SMARTWatcher() = default;

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
    queueGather(false);
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

void SMARTWatcher::queueGather(bool notify, std::function<void()> after)
{
    _queue.append({notify, std::move(after)});
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
    // A drive read may spin an event loop; the running gather then picks up
    // the queue when it ends.
    if (_running || _queue.isEmpty())
        return;
    const Job job = _queue.takeFirst();
    _running = true;
    gatherSMARTDrives(job.notify);
    if (job.after)
        job.after();
    _running = false;
    if (!_queue.isEmpty())
        scheduleNext();
}

bool SMARTWatcher::gatherSMARTDrives(bool notify)
{
    QElapsedTimer clock;
    clock.start();
    // Another program may have changed the settings since the last gather.
    _defaults.reload();
    const std::optional<QVariantMap> ignore = _defaults.dictionaryValue(QLatin1String(kIgnoreAttributesKey));
    if (!ignore) {
        qCWarning(lcWatcher) << "Gather skipped: the stored \"ignoreAttributes\" is not a dictionary";
        return false;
    }
    std::optional<QList<QVariantMap>> drives = _source.readAllDrives(*ignore);
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
    for (const QVariantMap &properties : std::as_const(*drives)) {
        std::optional<SMARTDrive> drive = SMARTDrive::fromProperties(properties);
        if (!drive)
            continue;
        logReadError(properties);
        list.append(*drive);
        if (notify && _notifier
            && (drive->health == QLatin1String("Warning") || drive->health == QLatin1String("Failed")))
            _notifier->notifyUser(*drive);
    }
    _smartDrives = std::move(list);
    Q_EMIT smartDrivesChanged();
    publish();
    Q_EMIT drivesRead(*drives);

    QStringList verdicts;
    for (const SMARTDrive &d : std::as_const(_smartDrives))
        verdicts.append(d.bsdName + QLatin1Char(' ') + d.health);
    qCInfo(lcWatcher).noquote() << QStringLiteral("Gathered %1 drive(s)%2 in %3 ms%4")
                                       .arg(_smartDrives.size())
                                       .arg(notify ? QStringLiteral(" with alerts") : QString())
                                       .arg(clock.elapsed())
                                       .arg(verdicts.isEmpty() ? QString() : QStringLiteral(": ") + verdicts.join(QStringLiteral(", ")));
    Q_EMIT gathered(notify);
    return true;
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
        if (_smartDrives[i].volumeNames.contains(name)) {
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
