// SPDX-License-Identifier: GPL-3.0-or-later
// Soak run of the agent's engine: GATHERS (default 10000) gathers of the demo
// set by one watcher in one process, through the real recorded seams, with
// data.json written each time. Prints resident memory and open file
// descriptors every 1000 gathers; both must level off, not climb.
//   build/bench/agent/agent_soak [GATHERS] [RECORDED-SET]
#include "AgentDriveSource.h"
#include "SMARTWatcher.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

using namespace corvane;

namespace {

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

long openFds()
{
    return long(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("corvane.*.info=false"));
    const int gathers = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const QString set = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(CORVANE_DEMO_SET);

    QTemporaryDir home;
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath(QStringLiteral("state"))));
    QString error;
    const std::unique_ptr<DriveSource> source = makeAgentDriveSource(set, &error);
    if (!source) {
        std::fprintf(stderr, "agent_soak: %s\n", qPrintable(error));
        return 1;
    }
    SharedDefaults defaults(home.filePath(QStringLiteral("suite.conf")));
    SMARTWatcher watcher(*source, defaults);
    watcher.setContainer(home.filePath(QStringLiteral("group")));
    watcher.setBus(QDBusConnection(QStringLiteral("no-bus")));

    std::printf("%8s %10s %8s %12s %8s\n", "gathers", "rss_kib", "fds", "ms/gather", "drives");
    std::printf("%8d %10ld %8ld %12s %8s\n", 0, residentKiB(), openFds(), "-", "-");
    QElapsedTimer clock;
    clock.start();
    int failed = 0;
    for (int i = 1; i <= gathers; ++i) {
        if (!watcher.gatherSMARTDrives(false))
            ++failed;
        // Whatever the watcher posted (deleteLater, queued signals) runs as in the agent.
        QCoreApplication::processEvents();
        if (i % 1000 == 0 || i == gathers) {
            std::printf("%8d %10ld %8ld %12.2f %8lld\n", i, residentKiB(), openFds(), double(clock.elapsed()) / 1000.0,
                        static_cast<long long>(watcher.smartDrives().size()));
            std::fflush(stdout);
            clock.restart();
        }
    }
    if (failed)
        std::printf("%d gathers ended without a list\n", failed);
    return failed ? 1 : 0;
}
