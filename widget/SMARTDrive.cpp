// SPDX-License-Identifier: GPL-3.0-or-later
#include "SMARTDrive.h"

#include "DriveIcons.h"

#include <QIcon>
#include <QStringList>

namespace corvane::widget {

SMARTDrive::SMARTDrive(QString uuid, QString model, QString volumes, QString where,
                       QString bsd, std::optional<QString> health)
    : id(std::move(uuid)), driveModel(std::move(model)), volumeNames(std::move(volumes)),
      location(std::move(where)), driveBSD(std::move(bsd)), driveHealth(std::move(health))
{
}

QString SMARTDrive::safeDriveHealth() const
{
    return driveHealth.value_or(QStringLiteral("Passed"));
}

QString SMARTDrive::volName() const
{
    // One split at the first comma, where empty pieces do not count: the first
    // non-empty piece between commas.
    const QStringList pieces = volumeNames.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return driveModel;
    QString first = pieces.constFirst();
    static const QLatin1String dataSuffix(" - Data");
    if (first.endsWith(dataSuffix))
        first.chop(dataSuffix.size());
    return first;
}

QIcon SMARTDrive::image() const
{
    return gui::driveIcon(isInternal() ? gui::DriveKind::Internal : gui::DriveKind::External);
}

SMARTDrive SMARTDrive::example()
{
    return SMARTDrive(QStringLiteral("uuid"), QStringLiteral("Samsung Drive Model"),
                      QStringLiteral("Macintosh HD"), QStringLiteral("External"),
                      QStringLiteral("disk0"), QStringLiteral("Passed"));
}

} // namespace corvane::widget
