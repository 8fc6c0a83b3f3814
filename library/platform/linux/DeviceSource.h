// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Linux registry reads from the machine: every block device with its
// ancestors (sysfs attributes, udev properties) and the mount table. libudev
// feeds it on a real machine, a captured folder in tests and bug reports.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <memory>

namespace corvane {

struct UdevDevice
{
    QString syspath;   // "/sys/devices/..."; unique
    QString parent;    // syspath of the parent device; empty at the top
    QString subsystem; // "block", "scsi", "nvme", "usb", "pci", ...
    QString devtype;   // "disk", "partition", "scsi_device", "usb_device", ...
    QString sysname;   // kernel name: "sda", "nvme0", "0:0:0:0"
    QString devnode;   // "/dev/sda"; empty when none
    QMap<QString, QString> attributes; // sysfs attributes ("size", "queue/rotational", ...)
    QMap<QString, QString> properties; // udev properties ("ID_MODEL", "ID_PART_TABLE_TYPE", ...)
};

class DeviceSource
{
public:
    virtual ~DeviceSource() = default;
    // Every block device and each of their ancestors, each once.
    virtual QList<UdevDevice> devices() const = 0;
    // The mount table in /proc/self/mountinfo format.
    virtual QByteArray mountInfo() const = 0;
};

// The sysfs attributes worth keeping for any device; others are not read.
const QList<QByteArray> &interestingAttributes();

// The machine's devices through libudev; needs no privileges.
class LibudevDeviceSource : public DeviceSource
{
public:
    QList<UdevDevice> devices() const override;
    QByteArray mountInfo() const override;
};

// A folder written by captureDeviceSource: devices.json and mountinfo.
class CapturedDeviceSource : public DeviceSource
{
public:
    // Null with *error set when devices.json is missing or malformed.
    static std::unique_ptr<CapturedDeviceSource> open(const QString &folder, QString *error);

    QList<UdevDevice> devices() const override { return _devices; }
    QByteArray mountInfo() const override { return _mountInfo; }

private:
    QList<UdevDevice> _devices;
    QByteArray _mountInfo;
};

// Writes `source` into `folder` (created when missing) for CapturedDeviceSource.
bool captureDeviceSource(const DeviceSource &source, const QString &folder, QString *error);

} // namespace corvane
