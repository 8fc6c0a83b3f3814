// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveReader.h"

#include "drive/NvmeReader.h"
#include "drive/THSMARTDevice.h"
#include "platform/linux/LinuxAtaSmart.h"
#include "platform/linux/LinuxNvme.h"
#include "platform/linux/UdevRegistry.h"
#include "platform/recorded/RecordedAtaSmart.h"
#include "platform/recorded/RecordedNvme.h"
#include "platform/recorded/RecordedRegistry.h"

namespace corvane {

static SystemSeamsHook &systemSeamsHook()
{
    static SystemSeamsHook hook;
    return hook;
}

void setSystemSeamsHook(SystemSeamsHook hook) { systemSeamsHook() = std::move(hook); }

DrivePlatform DrivePlatform::system()
{
    DrivePlatform p;
    p.registry = openSystemRegistry();
    p.ata = [](const QString &bsd, int32_t &status) { return openLinuxAtaSmart(bsd, status); };
    p.nvme = [](const QString &bsd, int32_t &status) { return openLinuxNvme(bsd, status); };
    if (systemSeamsHook())
        systemSeamsHook()(p);
    return p;
}

std::optional<DrivePlatform> DrivePlatform::recorded(const QString &folder, QString *error)
{
    std::shared_ptr<const Registry> registry = openRecordedRegistry(folder, error);
    if (!registry)
        return std::nullopt;
    DrivePlatform p;
    p.registry = std::move(registry);
    p.recordedSet = recordedSetFolder(folder);
    p.ata = recordedAtaSmartOpener(p.recordedSet);
    p.nvme = recordedNvmeOpener(p.recordedSet);
    return p;
}

std::optional<DrivePlatform> DrivePlatform::open(const QString &recordedFolder, QString *error)
{
    if (recordedFolder.isEmpty())
        return system();
    return recorded(recordedFolder, error);
}

int32_t readDrive(THSMARTDevice &device, const DrivePlatform &platform)
{
    QVariantMap &props = device.driveProperties();
    if (props.value(QStringLiteral("isNVMe")).toBool()) {
        thNVMe::ControllerProperties lookup;
        if (platform.registry) {
            lookup = [registry = platform.registry](const QString &bsd) {
                const RegistryEntry controller = capableAncestor(*registry, bsd, QStringLiteral("NVMe SMART Capable"));
                return controller ? registry->properties(controller) : QVariantMap();
            };
        }
        device.setNvmeOpener(platform.nvme);
        int32_t status = 0;
        device.mergeProperties(thNVMe(platform.nvme, lookup).readNVMe_bsd(props.value(QStringLiteral("bsdName")).toString(), &status));
        return status;
    }
    device.setAtaOpener(platform.ata);
    device.setRegistry(platform.registry);
    if (const int32_t status = device.updateProperties())
        return status;
    // Opened but the data page didn't come (the drive vanished, a bridge
    // dropped the command): no verdict, and the front end says why.
    return device.smartDataStatus();
}

int32_t readDrive(THSMARTDevice &device, const DrivePlatform &platform, const WakePolicy &mayWake)
{
    QVariantMap &props = device.driveProperties();
    if (mayWake && isRotatingDrive(props) && !mayWake(props.value(QStringLiteral("bsdName")).toString())) {
        device.setAtaOpener(platform.ata);
        device.setRegistry(platform.registry);
        if (isAsleep(device.checkPowerMode())) {
            props.insert(QLatin1String(kAsleepKey), true);
            return 0;
        }
    }
    return readDrive(device, platform);
}

} // namespace corvane
