// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/linux/MountInfo.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

class QSocketNotifier;

namespace corvane {

// Key of the mount path in a volume event's user info.
inline constexpr char kDevicePathKey[] = "NSDevicePath";

// Volume mount and unmount notifications. Each signal carries a user info
// dictionary with the mount path under "NSDevicePath".
class VolumeEvents : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void didMount(const QVariantMap &userInfo);
    void didUnmount(const QVariantMap &userInfo);
};

// Events raised by hand, for tests and for programs without a mount table.
class ManualVolumeEvents : public VolumeEvents
{
    Q_OBJECT
public:
    using VolumeEvents::VolumeEvents;
    void mount(const QString &path) { Q_EMIT didMount({{QLatin1String(kDevicePathKey), path}}); }
    void unmount(const QString &path) { Q_EMIT didUnmount({{QLatin1String(kDevicePathKey), path}}); }
};

// Whether a mount is a volume of a drive: only file systems on a block
// device are. RAM disks (tmpfs, ramfs), network and FUSE mounts, kernel and
// container plumbing come and go on their own and must not cause gathers.
bool isVolumeMount(const MountEntry &entry);
// The "nodev" types of a /proc/filesystems text.
QSet<QString> blockLessFileSystems(const QByteArray &procFilesystems);

// Linux: the kernel flags every change of the mount table on an open
// mountinfo file (POLLPRI); the table is then re-read and compared by mount
// id. Only volume mounts (isVolumeMount) raise events.
class MountInfoVolumeEvents : public VolumeEvents
{
    Q_OBJECT
public:
    explicit MountInfoVolumeEvents(QObject *parent = nullptr,
                                   const QString &mountInfoPath = QStringLiteral("/proc/self/mountinfo"));
    ~MountInfoVolumeEvents() override;
    bool isWatching() const { return _fd >= 0; }
    // Re-read the table now; events for the differences since the last read.
    void rescan();

private:
    QByteArray readTable();

    int _fd = -1;
    QSocketNotifier *_notifier = nullptr;
    QHash<int, QString> _mounts;
};

} // namespace corvane
