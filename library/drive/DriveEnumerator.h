// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds the SMART-capable whole drives in a Registry and builds one drive
// settings dictionary (17 keys) per drive, cached by kernel name.
#include "drive/THSMARTDevice.h"
#include "platform/Registry.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>

namespace corvane {

// Kernel name → drive settings dictionary.
using DriveInformation = QMap<QString, QVariantMap>;

class DriveEnumerator
{
public:
    // The registry must outlive the enumerator.
    explicit DriveEnumerator(const Registry &registry) : _registry(registry) {}

    // Enumerates all drives, replaces the cache with the result and returns it.
    const DriveInformation &driveInformation();
    // The cache as the last enumeration left it.
    const DriveInformation &cache() const { return _cache; }
    // The cached kernel names in drive order (sda < sdb < sdaa).
    QStringList sortedBSDNames() const;

    // A kernel name or a path ending in one ("/dev/sda"). An unknown name
    // runs one fresh enumeration; nullopt when the drive is still unknown.
    std::optional<QVariantMap> settingsForBSDName(const QString &nameOrPath);
    std::unique_ptr<THSMARTDevice> deviceWithBSDName(const QString &nameOrPath);
    static std::unique_ptr<THSMARTDevice> deviceWithSetting(const QVariantMap &setting)
    {
        return THSMARTDevice::deviceWithSetting(setting);
    }

    // Volume records ("content", "name") below a whole medium.
    QVariantList enumerateDeviceVolumes(const RegistryEntry &whole) const;
    // Identification record ("serial", "vendor", "model", "rev", "nvmerev").
    QVariantMap deviceIdentification(const RegistryEntry &whole) const;

    // Whole media of the last enumeration that are not listed, and why; for
    // front ends that must explain an empty list.
    struct LeftOut
    {
        QString bsdName;
        QString reason;
    };
    const QList<LeftOut> &leftOut() const { return _leftOut; }
    // How many enumerations ran; lets callers see a cache miss re-enumerate.
    int enumerationCount() const { return _runs; }

private:
    const Registry &_registry;
    DriveInformation _cache;
    QList<LeftOut> _leftOut;
    int _runs = 0;
};

// The freedesktop icon name that stands for a drive: internal, removable, external.
QString driveIconName(bool internal, bool removable);

} // namespace corvane
