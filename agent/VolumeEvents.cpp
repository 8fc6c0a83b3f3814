// SPDX-License-Identifier: GPL-3.0-or-later
#include "VolumeEvents.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcVolumes, "corvane.agent.volumes")

namespace corvane {

bool isVolumeMount(const MountEntry &entry)
{
    static const QStringList plumbing{
        "autofs", "binfmt_misc", "bpf", "cgroup", "cgroup2", "configfs", "debugfs", "devpts", "efivarfs",
        "fusectl", "hugetlbfs", "mqueue", "nsfs", "overlay", "proc", "pstore", "rpc_pipefs", "securityfs",
        "squashfs", "sysfs", "tracefs", "fuse.portal", "fuse.gvfsd-fuse", "fuse.snapfuse", "fuse.lxcfs"};
    return !plumbing.contains(entry.fsType);
}

MountInfoVolumeEvents::MountInfoVolumeEvents(QObject *parent, const QString &mountInfoPath)
    : VolumeEvents(parent)
{
    _fd = ::open(QFile::encodeName(mountInfoPath).constData(), O_RDONLY | O_CLOEXEC);
    if (_fd < 0) {
        qCWarning(lcVolumes).noquote() << "Cannot watch mounts:" << mountInfoPath + ":" << strerror(errno);
        return;
    }
    for (const MountEntry &e : parseMountInfo(readTable()))
        if (isVolumeMount(e))
            _mounts.insert(e.mountId, e.mountPoint);
    _notifier = new QSocketNotifier(_fd, QSocketNotifier::Exception, this);
    connect(_notifier, &QSocketNotifier::activated, this, &MountInfoVolumeEvents::rescan);
}

MountInfoVolumeEvents::~MountInfoVolumeEvents()
{
    delete _notifier;
    if (_fd >= 0)
        ::close(_fd);
}

QByteArray MountInfoVolumeEvents::readTable()
{
    QByteArray all;
    if (::lseek(_fd, 0, SEEK_SET) < 0)
        return all;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        all.append(buffer, n);
    }
    return all;
}

void MountInfoVolumeEvents::rescan()
{
    if (_fd < 0)
        return;
    QHash<int, QString> now;
    for (const MountEntry &e : parseMountInfo(readTable()))
        if (isVolumeMount(e))
            now.insert(e.mountId, e.mountPoint);
    const QHash<int, QString> before = std::exchange(_mounts, now);
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!now.contains(it.key()))
            Q_EMIT didUnmount({{QLatin1String(kDevicePathKey), it.value()}});
    for (auto it = now.begin(); it != now.end(); ++it)
        if (!before.contains(it.key()))
            Q_EMIT didMount({{QLatin1String(kDevicePathKey), it.value()}});
}

} // namespace corvane
