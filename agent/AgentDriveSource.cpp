// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentDriveSource.h"

#include "drive/DriveEnumerator.h"
#include "drive/DriveReader.h"
#include "drive/THSMARTDevice.h"
#include "metrics/PrometheusExposition.h"
#include "platform/DeviceStatus.h"

namespace corvane {

namespace {

// Whether a partition of the whole disk `bsdName` has a mount point now.
bool anyVolumeMounted(const Registry &registry, const QString &bsdName)
{
    const QList<RegistryEntry> wholes = registry.matchingServices(
        {{QStringLiteral("Whole"), true}, {QStringLiteral("BSD Name"), bsdName}});
    for (const RegistryEntry &whole : wholes)
        for (const RegistryEntry &child : registry.descendants(whole))
            if (!registry.diskDescription(child).value_or(QVariantMap()).value(QStringLiteral("DAVolumePath")).toString().isEmpty())
                return true;
    return false;
}

// A fresh enumeration and one read per drive at every gather.
class DeviceDriveSource : public DriveSource
{
public:
    explicit DeviceDriveSource(PlatformFactory open) : _open(std::move(open)) {}

    std::optional<QList<QVariantMap>> readAllDrives(const QVariantMap &ignoreAttributes) override
    {
        return readAwakeDrives(ignoreAttributes, {});
    }

    std::optional<QList<QVariantMap>> readAwakeDrives(const QVariantMap &ignoreAttributes,
                                                      const WakePolicy &mayWake) override
    {
        // The machine's registry is taken anew each time: drives come and go.
        const std::optional<DrivePlatform> platform = _open();
        if (!platform || !platform->registry)
            return std::nullopt;

        DriveEnumerator enumerator(*platform->registry);
        const DriveInformation &drives = enumerator.driveInformation();
        QList<QVariantMap> result;
        for (const QString &name : enumerator.sortedBSDNames()) {
            const auto device = THSMARTDevice::deviceWithSetting(drives.value(name));
            if (!device->driveProperties().value(QStringLiteral("isNVMe")).toBool())
                device->driveProperties().insert(QStringLiteral("ignoreAttributes"), ignoreAttributes);
            const int32_t status = readDrive(*device, *platform, mayWake);
            QVariantMap properties = device->driveProperties();
            if (status != 0) {
                properties.insert(QLatin1String(kReadErrorKey), statusUserMessage(status));
                properties.insert(QLatin1String(kReadStatusKey), status);
            }
            properties.insert(QLatin1String(kVolumesMountedKey), anyVolumeMounted(*platform->registry, name));
            result.append(properties);
        }
        return result;
    }

private:
    PlatformFactory _open;
};

} // namespace

std::unique_ptr<DriveSource> makeAgentDriveSource(const QString &recordedDir, QString *error)
{
    if (!recordedDir.isEmpty() && !DrivePlatform::recorded(recordedDir, error))
        return nullptr;
    return makeDriveSource([recordedDir] {
        QString ignored;
        return DrivePlatform::open(recordedDir, &ignored);
    });
}

std::unique_ptr<DriveSource> makeDriveSource(PlatformFactory open)
{
    return std::make_unique<DeviceDriveSource>(std::move(open));
}

} // namespace corvane
