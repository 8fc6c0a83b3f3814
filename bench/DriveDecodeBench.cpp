// SPDX-License-Identifier: GPL-3.0-or-later
// What one drive costs to decode once its pages are in memory: an ATA drive
// (all six pages, attributes named by the real drivedb.h) and an NVMe drive.
#include "database/DriveDatabase.h"
#include "drive/AtaPageDecoding.h"
#include "drive/Attributes.h"
#include "drive/NvmeDecoders.h"
#include "drive/THSMARTDevice.h"

#include <QFile>

#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

const QString kAta = QStringLiteral(CORVANE_TEST_DATA "/ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/");
const QString kNvme = QStringLiteral(CORVANE_TEST_DATA "/nvme-qemu/");

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Page page(const QString &path)
{
    Page p{};
    const QByteArray b = readFile(path);
    std::copy_n(reinterpret_cast<const uint8_t *>(b.constData()), std::min<size_t>(512, size_t(b.size())), p.begin());
    return p;
}

Bytes bytes(const QByteArray &a) { return {reinterpret_cast<const uint8_t *>(a.constData()), size_t(a.size())}; }

const DriveDatabase &database()
{
    static const DriveDatabase db = DriveDatabase::parse(readFile(QStringLiteral("/usr/share/smartmontools/drivedb.h")));
    return db;
}

struct AtaPages
{
    Page identity = page(kAta + QStringLiteral("identify.bin"));
    Page smart = page(kAta + QStringLiteral("smart.bin"));
    Page thresholds = page(kAta + QStringLiteral("thresholds.bin"));
    Page directory = page(kAta + QStringLiteral("smartlog-00-directory.bin"));
    Page errors = [] { Page p{}; p[0] = 1; return p; }(); // the drive keeps no summary error log
    Page selftests = page(kAta + QStringLiteral("smartlog-06-selftest.bin"));
};

// What a session merges for one ATA drive, the database lookup included.
void BM_DecodeAtaDrive(benchmark::State &state)
{
    const AtaPages pages;
    const DriveDatabase &db = database();
    if (db.drives().isEmpty()) {
        state.SkipWithError("no /usr/share/smartmontools/drivedb.h");
        return;
    }
    for (auto _ : state) {
        // The session's own merge path, on a fresh drive object as every gather makes.
        THSMARTDevice d(QVariantMap{});
        d.identity = pages.identity;
        d.smartData = pages.smart;
        d.smartThresh = pages.thresholds;
        d.logDirectory = pages.directory;
        d.errorLog = pages.errors;
        d.testLog = pages.selftests;
        decodeIdentity(d);
        decodeCapabilities(d);
        const QVariantMap &p = d.driveProperties();
        d.mergeProperties(attributesModel(db, d.smartData, d.smartThresh, p.value(QStringLiteral("Device Model")).toString(),
                                          p.value(QStringLiteral("Firmware Version")).toString(), {}, false));
        decodeLogDirectory(d);
        decodeErrorLog(d);
        decodeSelftestLog(d);
        benchmark::DoNotOptimize(d.driveProperties());
    }
}
BENCHMARK(BM_DecodeAtaDrive)->Unit(benchmark::kMicrosecond);

void BM_DecodeNvmeDrive(benchmark::State &state)
{
    const QByteArray identify = readFile(kNvme + QStringLiteral("nvme0-id-ctrl.bin"));
    const QByteArray health = readFile(kNvme + QStringLiteral("nvme0-log02-smart.bin"));
    const QByteArray firmware = readFile(kNvme + QStringLiteral("nvme0-log03-fwslot.bin"));
    const QByteArray errors = readFile(kNvme + QStringLiteral("nvme0-log01-error.bin"));
    for (auto _ : state) {
        QVariantMap p = nvmeIdentifyKeys(bytes(identify), 1, 4);
        p.insert(nvmeHealthKeys(bytes(health)));
        p.insert(QStringLiteral("powerStates"), nvmePowerStates(bytes(identify)));
        p.insert(nvmeFirmwareKeys(bytes(identify), bytes(firmware)));
        p.insert(QStringLiteral("errorLog"), nvmeErrorLog(bytes(errors), nvmeErrorLogEntryCount(bytes(identify))));
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_DecodeNvmeDrive)->Unit(benchmark::kMicrosecond);

} // namespace

namespace {

// The ATA drive's parts on their own: 0 IDENTIFY and capabilities, 1 the
// attribute pass, 2 the three logs.
void BM_DecodeAtaPart(benchmark::State &state)
{
    const AtaPages pages;
    const DriveDatabase &db = database();
    THSMARTDevice d(QVariantMap{});
    d.identity = pages.identity;
    d.smartData = pages.smart;
    d.smartThresh = pages.thresholds;
    d.logDirectory = pages.directory;
    d.errorLog = pages.errors;
    d.testLog = pages.selftests;
    decodeIdentity(d);
    const QString model = d.driveProperties().value(QStringLiteral("Device Model")).toString();
    const QString firmware = d.driveProperties().value(QStringLiteral("Firmware Version")).toString();
    for (auto _ : state) {
        switch (state.range(0)) {
        case 0:
            decodeIdentity(d);
            decodeCapabilities(d);
            break;
        case 1:
            benchmark::DoNotOptimize(attributesModel(db, d.smartData, d.smartThresh, model, firmware, {}, false));
            break;
        default:
            decodeLogDirectory(d);
            decodeErrorLog(d);
            decodeSelftestLog(d);
            break;
        }
    }
}
BENCHMARK(BM_DecodeAtaPart)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace
