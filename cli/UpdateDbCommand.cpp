// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl update-db: the window's drive database refresh, for scripts and
// for checking a mirror.
#include "Command.h"

#include "platform/SharedDefaults.h"
#include "update/DriveDatabaseUpdater.h"

#include <QCommandLineParser>
#include <QEventLoop>

namespace corvane::cli {

namespace {

int run(const QStringList &args)
{
    CommandLine cl("update-db");
    QCommandLineParser &parser = cl.parser();
    const QCommandLineOption source(QStringLiteral("source"),
                                    QStringLiteral("Fetch drivedb.h from <url> (no history page); repeat to try several in order."),
                                    QStringLiteral("url"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("Seconds per request (default 15)."),
                                     QStringLiteral("seconds"), QStringLiteral("15"));
    parser.addOption(source);
    parser.addOption(timeout);
    if (const std::optional<int> exit = cl.parse(args, 0, 0))
        return *exit;
    bool ok = false;
    const int seconds = parser.value(timeout).toInt(&ok);
    if (!ok || seconds <= 0) {
        err(QStringLiteral("corvanectl update-db: --timeout wants a positive number of seconds\n"));
        return 2;
    }

    DriveDatabaseUpdater updater;
    updater.setTimeout(seconds * 1000);
    if (parser.isSet(source)) {
        QList<DriveDbSource> sources;
        for (const QString &url : parser.values(source))
            sources.append({url, QString(), QString()});
        updater.setSources(sources);
    } else {
        updater.setSources(DriveDatabaseUpdater::defaultSources(
            SharedDefaults::shared().value(QLatin1String(DriveDatabaseUpdater::kMakerSourceKey)).toString()));
    }
    QObject::connect(&updater, &DriveDatabaseUpdater::progress, [](int index, int count, const QString &address) {
        err(QStringLiteral("source %1 of %2: %3\n").arg(index + 1).arg(count).arg(address));
    });
    DriveDatabaseUpdater::Result result;
    QEventLoop loop;
    QObject::connect(&updater, &DriveDatabaseUpdater::finished, &loop, [&](const DriveDatabaseUpdater::Result &r) {
        result = r;
        loop.quit();
    });
    if (updater.start())
        loop.exec();
    for (const QString &failure : result.failures)
        err(QStringLiteral("  failed: %1\n").arg(failure));
    switch (result.outcome) {
    case DriveDatabaseUpdater::Outcome::Updated:
    case DriveDatabaseUpdater::Outcome::AlreadyCurrent:
        out(result.message() + u'\n');
        return 0;
    case DriveDatabaseUpdater::Outcome::Busy:
        err(result.message() + u'\n');
        return 3;
    case DriveDatabaseUpdater::Outcome::Failed:
        break;
    }
    err(result.message() + u'\n');
    return 1;
}

const CommandRegistrar registrar("update-db",
                                 {"update-db [--source URL]...", "refresh drivedb.h from the network (atomically, never downgrading)",
                                  run});

} // namespace

} // namespace corvane::cli
