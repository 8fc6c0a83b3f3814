// SPDX-License-Identifier: GPL-3.0-or-later
// What one drive costs to decode once its pages are in memory: an ATA drive
// (all six pages, attributes named by the real drivedb.h) and an NVMe drive.
#include "database/DriveDatabase.h"
#include "drive/AtaPages.h"
#include "drive/Attributes.h"
#include "drive/IdentifyDecoder.h"
#include "drive/NvmeDecoders.h"
#include "drive/SmartLogDecoder.h"

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

AtaPages loadPages()
{
    AtaPages pages;
    for (const AtaPageFile &file : kAtaPageFiles) {
        pages.page(file.kind) = page(kAta + ataPageFileName(file.kind));
        pages.present[file.kind] = true;
    }
    pages.errorLog.fill(0);
    pages.errorLog[0] = 1; // the drive keeps no summary error log
    return pages;
}

// What a session merges for one ATA drive, the database lookup included.
void BM_DecodeAtaDrive(benchmark::State &state)
{
    const AtaPages pages = loadPages();
    const DriveDatabase &db = database();
    if (db.drives().isEmpty()) {
        state.SkipWithError("no /usr/share/smartmontools/drivedb.h");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeAtaDrive(pages, {}, db, {}, false));
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
    const AtaPages pages = loadPages();
    const DriveDatabase &db = database();
    const QVariantMap identity = identifyDevice(pages.identity);
    const QString model = identity.value(QStringLiteral("Device Model")).toString();
    const QString firmware = identity.value(QStringLiteral("Firmware Version")).toString();
    for (auto _ : state) {
        switch (state.range(0)) {
        case 0:
            benchmark::DoNotOptimize(identifyDevice(pages.identity));
            benchmark::DoNotOptimize(capabilities(pages.smartData, identity));
            break;
        case 1:
            benchmark::DoNotOptimize(attributesModel(db, pages.smartData, pages.smartThresh, model, firmware, {}, false));
            break;
        default:
            benchmark::DoNotOptimize(smartLogs(pages.logDirectory));
            benchmark::DoNotOptimize(errorLog(pages.errorLog));
            benchmark::DoNotOptimize(selftestLog(pages.testLog));
            break;
        }
    }
}
BENCHMARK(BM_DecodeAtaPart)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace
