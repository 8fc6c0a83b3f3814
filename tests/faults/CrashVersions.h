// SPDX-License-Identifier: GPL-3.0-or-later
// The two versions ("a" and "b") of each file the crash-safety test has written and killed,
// large enough that a kill often lands mid-write.
#pragma once
#include "SMARTDrive.h"

#include <QByteArray>
#include <QList>
#include <QUuid>
#include <QVariantMap>

namespace corvane::test {

inline QList<SMARTDrive> crashDrives(bool b)
{
    QList<SMARTDrive> drives;
    for (int i = 0; i < 400; ++i) {
        SMARTDrive d(QStringLiteral("sd%1").arg(i), QStringLiteral("Model %1 %2").arg(b ? "B" : "A").arg(i),
                     QStringLiteral("Volume %1").arg(i), QStringLiteral("Internal"), QString(),
                     b ? QStringLiteral("Warning") : QStringLiteral("Passed"));
        // Fixed ids: the test compares bytes.
        d.id = QUuid::fromString(QStringLiteral("{00000000-0000-4000-8000-%1}").arg(i * 2 + b, 12, 10, QLatin1Char('0')));
        drives.append(d);
    }
    return drives;
}

inline QVariantMap crashSettings(bool b)
{
    QVariantMap m;
    for (int i = 0; i < 1000; ++i)
        m.insert(QStringLiteral("a%1").arg(i), (i % 2 == 0) == b);
    m.insert(QStringLiteral("version"), b ? QStringLiteral("b") : QStringLiteral("a"));
    return m;
}

inline QByteArray crashDriveDB(bool b)
{
    QByteArray text = "const drive_settings builtin_knowndrives[] = {\n"
                      "  { \"VERSION: 7.3 $Id: drivedb.h 5500 2024-01-01 00:00:00Z crash $\", \"-\", \"-\", \"\", \"\" },\n"
                      "  { \"DEFAULT\", \"-\", \"-\", \"Default settings\", \"-v 9,raw24(raw8),Power_On_Hours\" },\n";
    for (int i = 0; i < 3000; ++i)
        text += "  { \"Family " + QByteArray(b ? "B" : "A") + QByteArray::number(i) + "\", \"MODEL-" +
                QByteArray::number(i) + "\", \"\", \"\", \"-v 194,tempminmax,Temperature_Celsius\" },\n";
    return text + "};\n";
}

} // namespace corvane::test
