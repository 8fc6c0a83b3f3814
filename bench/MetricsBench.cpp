// SPDX-License-Identifier: GPL-3.0-or-later
// What the Prometheus text of the demo set costs once its drives are read:
// the figure `corvanectl metrics` and the agent's textfile add to a gather.
#include "drive/DriveEnumerator.h"
#include "drive/DriveReader.h"
#include "drive/THSMARTDevice.h"
#include "metrics/PrometheusExposition.h"

#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

const QList<QVariantMap> &demoDrives()
{
    static const QList<QVariantMap> drives = [] {
        QList<QVariantMap> list;
        QString error;
        const std::optional<DrivePlatform> platform =
            DrivePlatform::recorded(QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo"), &error);
        if (!platform)
            return list;
        DriveEnumerator enumerator(*platform->registry);
        const DriveInformation &info = enumerator.driveInformation();
        for (const QString &name : enumerator.sortedBSDNames()) {
            const auto device = THSMARTDevice::deviceWithSetting(info.value(name));
            const int32_t status = readDrive(*device, *platform);
            list.append(device->driveProperties());
            if (status != 0)
                list.last().insert(QLatin1String(kReadStatusKey), status);
        }
        return list;
    }();
    return drives;
}

// family: 1 looks every model up in the drive database, as the front ends do.
void BM_DemoExposition(benchmark::State &state)
{
    const QList<QVariantMap> &drives = demoDrives();
    const ModelFamilyLookup family = state.range(0) ? ModelFamilyLookup(driveDatabaseFamily) : ModelFamilyLookup();
    driveDatabaseFamily(QStringLiteral("warm-up"), QString()); // the database parse is the reader's cost
    qsizetype size = 0;
    for (auto _ : state) {
        const QByteArray text = prometheusExposition(drives, 1.7e9, readErrorsOf(drives), family);
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    state.counters["drives"] = double(drives.size());
    state.counters["bytes"] = double(size);
    state.counters["bytes_per_drive"] = drives.isEmpty() ? 0.0 : double(size) / double(drives.size());
}
BENCHMARK(BM_DemoExposition)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
