// SPDX-License-Identifier: GPL-3.0-or-later
// The drive history: what writing one gather costs the agent, and how big the
// file of ten drives gets over a year of hourly gathers.
#include "history/HistoryDatabase.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

constexpr int kDrives = 10;
const QDateTime kStart(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

// A gather of ten drives, half ATA and half NVMe, with values that change.
QList<HistorySample> gather(int hour)
{
    QList<HistorySample> samples;
    for (int i = 0; i < kDrives; ++i) {
        HistorySample s;
        s.time = kStart.addSecs(qint64(hour) * 3600);
        s.drive = QStringLiteral("Vendor Model %1|SERIAL%2").arg(i).arg(100000 + i);
        s.bsdName = i < 5 ? QStringLiteral("sd%1").arg(QChar(u'a' + i)) : QStringLiteral("nvme%1n1").arg(i - 5);
        s.health = QStringLiteral("Passed");
        s.temperature = 30 + (hour + i) % 12;
        s.powerOnHours = 10000 + hour;
        if (i < 5) {
            s.reallocated = hour / 500;
            s.pending = 0;
            s.offlineUncorrectable = 0;
            s.crcErrors = hour / 2000;
        } else {
            s.percentageUsed = 3 + hour / 2000;
            s.availableSpare = 100;
            s.mediaErrors = 0;
            s.unsafeShutdowns = 12 + hour / 700;
        }
        samples << s;
    }
    return samples;
}

// A year of hourly gathers with the default retention; the file's size is
// the counter "bytes" (the goal: at most 5 MiB).
void BM_HistoryYearOfTenDrives(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        {
            HistoryDatabase db(path);
            if (!db.open()) {
                state.SkipWithError("cannot open the history");
                return;
            }
            for (int hour = 0; hour < 365 * 24; ++hour)
                db.append(gather(hour));
        }
        state.counters["bytes"] = double(QFileInfo(path).size());
    }
}
BENCHMARK(BM_HistoryYearOfTenDrives)->Unit(benchmark::kSecond)->Iterations(1);

// One gather's write into a file that already holds a year: the time the agent adds per gather (goal: 2 ms).
void BM_HistoryAppendGather(benchmark::State &state)
{
    QTemporaryDir dir;
    HistoryDatabase db(dir.filePath(QStringLiteral("history.sqlite")));
    if (!db.open()) {
        state.SkipWithError("cannot open the history");
        return;
    }
    int hour = 0;
    for (; hour < 365 * 24; ++hour)
        db.append(gather(hour));
    for (auto _ : state)
        benchmark::DoNotOptimize(db.append(gather(hour++)));
}
BENCHMARK(BM_HistoryAppendGather)->Unit(benchmark::kMicrosecond);

} // namespace
