// SPDX-License-Identifier: GPL-3.0-or-later
#include "SMARTDrive.h"

#include "DriveIcons.h"

#include <QIcon>

namespace corvane::widget {

QString tileTitle(const SMARTDrive &drive)
{
    // The first non-empty piece between commas.
    const QStringList pieces = drive.volName.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return drive.hwName;
    QString first = pieces.constFirst();
    static const QLatin1String dataSuffix(" - Data");
    if (first.endsWith(dataSuffix))
        first.chop(dataSuffix.size());
    return first;
}

QIcon driveImage(const SMARTDrive &drive)
{
    return gui::driveIcon(drive.isInternal() ? gui::DriveKind::Internal : gui::DriveKind::External);
}

SMARTDrive exampleDrive()
{
    return SMARTDrive(QStringLiteral("disk0"), QStringLiteral("Samsung Drive Model"), QStringLiteral("Macintosh HD"),
                      QStringLiteral("External"), QString(), QStringLiteral("Passed"));
}

} // namespace corvane::widget
