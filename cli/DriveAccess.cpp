// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveAccess.h"

#include "Command.h"

#include "platform/Paths.h"
#include "platform/SharedDefaults.h"

#include <QLoggingCategory>

namespace corvane::cli {

std::optional<DriveSet> DriveSet::open(const QString &recordedFolder, const QString &command)
{
    // The session's progress notes are for the agent's journal, not a terminal;
    // QT_LOGGING_RULES still brings them back.
    QLoggingCategory::setFilterRules(QStringLiteral("corvane.*.info=false"));
    QString error;
    std::optional<DrivePlatform> platform = DrivePlatform::open(recordedFolder, &error);
    if (!platform || !platform->registry) {
        err(QStringLiteral("corvanectl %1: cannot open recorded set %2\n").arg(command, error));
        return std::nullopt;
    }
    DriveSet set;
    set._platform = std::make_shared<DrivePlatform>(std::move(*platform));
    set._enumerator = std::make_shared<DriveEnumerator>(*set._platform->registry);
    set._enumerator->driveInformation();
    return set;
}

std::unique_ptr<THSMARTDevice> DriveSet::device(const QString &nameOrPath, const QString &command)
{
    if (auto d = _enumerator->deviceWithBSDName(nameOrPath))
        return d;
    const QStringList known = names();
    err(QStringLiteral("corvanectl %1: no SMART-capable drive '%2'; %3\n")
            .arg(command, nameOrPath,
                 known.isEmpty() ? QStringLiteral("no drives were found")
                                 : QStringLiteral("the drives are: ") + known.join(QStringLiteral(", "))));
    return nullptr;
}

int32_t DriveSet::read(THSMARTDevice &device) const
{
    if (!device.driveProperties().value(QStringLiteral("isNVMe")).toBool())
        device.driveProperties().insert(QStringLiteral("ignoreAttributes"), userIgnoreAttributes());
    return readDrive(device, *_platform);
}

QVariantMap userIgnoreAttributes()
{
    SharedDefaults defaults(sharedDefaultsFile());
    defaults.registerDefaults(defaultSharedRegistrations());
    return defaults.dictionaryValue(QLatin1String(kIgnoreAttributesKey)).value_or(defaultIgnoreAttributes());
}

} // namespace corvane::cli
