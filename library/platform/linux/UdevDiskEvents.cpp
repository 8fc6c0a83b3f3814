// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DiskEvents.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace corvane {

namespace {

class UdevDiskEvents : public DiskEvents
{
public:
    UdevDiskEvents(udev *u, udev_monitor *monitor) : _udev(u), _monitor(monitor)
    {
        _notifier = new QSocketNotifier(udev_monitor_get_fd(monitor), QSocketNotifier::Read, this);
        connect(_notifier, &QSocketNotifier::activated, this, [this] { drain(); });
    }
    ~UdevDiskEvents() override
    {
        delete _notifier;
        udev_monitor_unref(_monitor);
        udev_unref(_udev);
    }

private:
    void drain()
    {
        // The socket is non-blocking: take every queued event, then wait again.
        while (udev_device *device = udev_monitor_receive_device(_monitor)) {
            const char *action = udev_device_get_action(device);
            const char *name = udev_device_get_sysname(device);
            // Loop and RAM disks come and go with every snap mount; they never have SMART.
            const bool virtualDisk = name && (!std::strncmp(name, "loop", 4) || !std::strncmp(name, "ram", 3)
                                              || !std::strncmp(name, "zram", 4));
            if (action && name && !virtualDisk) {
                if (!std::strcmp(action, "add"))
                    Q_EMIT diskChanged(true, QString::fromLocal8Bit(name));
                else if (!std::strcmp(action, "remove"))
                    Q_EMIT diskChanged(false, QString::fromLocal8Bit(name));
            }
            udev_device_unref(device);
        }
    }

    udev *_udev;
    udev_monitor *_monitor;
    QSocketNotifier *_notifier = nullptr;
};

} // namespace

std::unique_ptr<DiskEvents> systemDiskEvents(QString *error)
{
    udev *u = udev_new();
    udev_monitor *monitor = u ? udev_monitor_new_from_netlink(u, "udev") : nullptr;
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", "disk") < 0
        || udev_monitor_enable_receiving(monitor) < 0) {
        if (error)
            *error = QStringLiteral("cannot watch for disks (udev: %1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (monitor)
            udev_monitor_unref(monitor);
        if (u)
            udev_unref(u);
        return nullptr;
    }
    return std::make_unique<UdevDiskEvents>(u, monitor);
}

} // namespace corvane
