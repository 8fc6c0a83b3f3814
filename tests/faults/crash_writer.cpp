// SPDX-License-Identifier: GPL-3.0-or-later
// The writer the crash-safety test kills: crash_writer KIND FILE replaces FILE with version
// "a", "b", "a" ... the way the programs write it (KIND: datajson, settings or drivedb).
#include "CrashVersions.h"
#include "database/DriveDatabaseFile.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <cstdio>

using namespace corvane;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString kind = QString::fromLocal8Bit(argv[1]), file = QString::fromLocal8Bit(argv[2]);
    const QDBusConnection noBus(QStringLiteral("no-bus"));
    std::unique_ptr<SharedDefaults> defaults;
    if (kind == QLatin1String("settings"))
        defaults = std::make_unique<SharedDefaults>(file);
    for (unsigned i = 1;; ++i) {
        const bool b = i % 2;
        if (kind == QLatin1String("datajson"))
            writeDrivesForWidget(test::crashDrives(b), QFileInfo(file).absolutePath(), noBus);
        else if (kind == QLatin1String("settings"))
            defaults->setValue(QStringLiteral("payload"), test::crashSettings(b));
        else if (kind == QLatin1String("drivedb"))
            writeDriveDBFile(file, test::crashDriveDB(b));
        else
            return 2;
        if (i == 1 && std::puts("written") >= 0)
            std::fflush(stdout);
    }
}
