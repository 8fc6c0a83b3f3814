// SPDX-License-Identifier: GPL-3.0-or-later
#include "VolumeEvents.h"

#include <QFile>
#include <QSet>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcVolumes, "corvane.agent.volumes")

namespace corvane {

QSet<QString> blockLessFileSystems(const QByteArray &procFilesystems)
{
    // "nodev\ttmpfs" marks a type that needs no block device; "\text4" one that does.
    QSet<QString> types;
    const QList<QByteArray> lines = procFilesystems.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 2 && fields[0] == "nodev")
            types.insert(QString::fromUtf8(fields[1]));
    }
    return types;
}

static const QSet<QString> &kernelBlockLessTypes()
{
    static const QSet<QString> types = [] {
        QFile f(QStringLiteral("/proc/filesystems"));
        return f.open(QIODevice::ReadOnly) ? blockLessFileSystems(f.readAll()) : QSet<QString>();
    }();
    return types;
}

bool isVolumeMount(const MountEntry &entry)
{
    // Without a block device a mount holds no drive's volume: RAM disks
    // (tmpfs, ramfs), network shares, FUSE file systems (fuse.sshfs), plumbing.
    // The kernel's list covers modules loaded later too; these are known anyway.
    static const QSet<QString> blockLess{
        "autofs", "binfmt_misc", "bpf", "cgroup", "cgroup2", "configfs", "debugfs", "devpts", "devtmpfs",
        "efivarfs", "fuse", "fusectl", "hugetlbfs", "mqueue", "nfs", "nfs4", "cifs", "smb3", "nsfs",
        "overlay", "proc", "pstore", "ramfs", "rpc_pipefs", "securityfs", "sysfs", "tmpfs", "tracefs"};
    // Loop-mounted images of packages, not volumes a user mounted.
    if (entry.fsType == QLatin1String("squashfs"))
        return false;
    const QString type = entry.fsType.section(QLatin1Char('.'), 0, 0); // fuse.sshfs -> fuse
    return !blockLess.contains(type) && !kernelBlockLessTypes().contains(type);
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
