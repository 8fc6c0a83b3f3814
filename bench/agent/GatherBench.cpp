// SPDX-License-Identifier: GPL-3.0-or-later
// The watcher's gather without device time: canned drives, the widget file
// written to a temporary folder, no bus.
#include "DriveSource.h"
#include "SMARTWatcher.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

QList<QVariantMap> syntheticDrives(int count)
{
    static const char *verdicts[] = {"Passed", "Passed", "Warning", "Failed", ""};
    QList<QVariantMap> drives;
    for (int i = 0; i < count; ++i) {
        QVariantMap p{{"bsdName", QStringLiteral("sd%1%2").arg(i >= 26 ? QString(QChar('a' + i / 26 - 1)) : QString()).arg(QChar('a' + i % 26))},
                      {"Device Model", QStringLiteral("Synthetic Drive %1").arg(i)},
                      {"location", i % 3 ? "Internal" : "External"},
                      {"diskIcon", "drive-harddisk"},
                      {"isNVMe", false},
                      {"volumes", QVariantList{QVariantMap{{"name", QStringLiteral("Volume %1").arg(i)}, {"content", ""}},
                                               QVariantMap{{"name", "Data"}, {"content", ""}}}}};
        if (*verdicts[i % 5])
            p.insert("attributeHealth", verdicts[i % 5]);
        drives.append(p);
    }
    return drives;
}

struct Setup
{
    explicit Setup(int drives) : source(syntheticDrives(drives)), defaults(home.filePath("suite.conf")),
                                 watcher(source, defaults)
    {
        watcher.setContainer(home.filePath("group"));
        watcher.setBus(QDBusConnection(QStringLiteral("no-bus")));
    }
    QTemporaryDir home;
    CannedDriveSource source;
    SharedDefaults defaults;
    SMARTWatcher watcher;
};

void BM_Gather(benchmark::State &state)
{
    Setup s(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(s.watcher.gatherSMARTDrives(false));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Gather)->RangeMultiplier(2)->Range(1, 64)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// Resident memory after 10 and after 1000 gathers of 8 drives: must not grow.
void BM_ResidentMemory(benchmark::State &state)
{
    for (auto _ : state) {
        Setup s(8);
        for (int i = 0; i < 10; ++i)
            s.watcher.gatherSMARTDrives(false);
        const long after10 = residentKiB();
        for (int i = 10; i < 1000; ++i)
            s.watcher.gatherSMARTDrives(false);
        state.counters["rss_kib_after_10"] = double(after10);
        state.counters["rss_kib_after_1000"] = double(residentKiB());
    }
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("corvane.agent.info=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
