// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageBuilder.h"
#include "TestData.h"
#include "support/Corvanectl.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::CliRun;

namespace {

CliRun corvanectl(const QStringList &args)
{
    static const test::Cli cli;
    return cli.run(args);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

TEST(DecodeCommand, JsonOfRealAndDamagedFolders)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString damaged = tmp.filePath(QStringLiteral("damaged"));
    ASSERT_TRUE(QDir().mkpath(damaged));
    const QString trac = QStringLiteral("ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/");
    // IDENTIFY cut after the model field, a SMART page of 0xFF, a self-test log of zeros.
    ASSERT_TRUE(writeFile(damaged + QStringLiteral("/identify.bin"), test::readData(trac + QStringLiteral("identify.bin")).left(94)));
    ASSERT_TRUE(writeFile(damaged + QStringLiteral("/smart.bin"), QByteArray(512, '\xff')));
    ASSERT_TRUE(writeFile(damaged + QStringLiteral("/smartlog-06-selftest.bin"), QByteArray(700, '\0')));
    ASSERT_TRUE(writeFile(damaged + QStringLiteral("/smartlog-01-error.bin"), QByteArray()));

    const CliRun r = corvanectl({QStringLiteral("decode"), QStringLiteral("--json"), test::dataPath(trac), damaged});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonArray drives = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(drives.size(), 2);

    const QJsonObject real = drives[0].toObject();
    EXPECT_EQ(real.value(QStringLiteral("source")).toString(), QStringLiteral("trac-1070_SSDSC2KB019T7R--SCV1DL57"));
    // The pages decode as a session's (SessionTest compares them on every
    // real drive); decode adds the maker logo.
    EXPECT_EQ(real.value(QStringLiteral("diskMfgLogo")).toString(), QStringLiteral("intel"));
    EXPECT_FALSE(real.contains(QStringLiteral("errorLog"))); // no file, no keys

    const QJsonObject bad = drives[1].toObject();
    EXPECT_EQ(bad.value(QStringLiteral("source")).toString(), QStringLiteral("damaged"));
    // Decoded as a session would: the 0xFF data page reads as zeros, no verdict.
    EXPECT_EQ(bad.value(QStringLiteral("attributeHealth")).toString(), QStringLiteral("-"));
    EXPECT_EQ(bad.value(QStringLiteral("Self-test status")).toString(), QStringLiteral("Never Run"));
    EXPECT_EQ(bad.value(QStringLiteral("isEnabledSelftestResults")).toInt(), 0);
    EXPECT_FALSE(bad.contains(QStringLiteral("errorLog")));
    EXPECT_TRUE(r.err.contains("identify.bin: short page, 94 of 512 bytes")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("smart.bin: revision or checksum invalid"));
    EXPECT_TRUE(r.err.contains("smartlog-06-selftest.bin: longer than 512 bytes"));
    EXPECT_TRUE(r.err.contains("smartlog-01-error.bin: empty file"));
}

TEST(DecodeCommand, ReadableReportAndExitCodes)
{
    const CliRun report = corvanectl({QStringLiteral("decode"), test::dataPath(QStringLiteral("ata-pages/MCCOE64GEMPP--2.9.09"))});
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_TRUE(report.out.startsWith("== MCCOE64GEMPP--2.9.09\n")) << report.out.constData();
    EXPECT_TRUE(report.out.contains("Firmware Version:        2.9.09"));
    EXPECT_EQ(report.err, QByteArray("corvanectl: Invalid Manufacturer: mccoe64gempp\n"));

    // A summary error log with one READ DMA EXT that failed with ABORT.
    QTemporaryDir withErrors;
    test::PageBuilder log;
    log.byte(0, 1).byte(1, 1).le16(452, 3).byte(2 + 48 + 7, 0x25).byte(2 + 60 + 1, 0x04)
        .byte(2 + 60 + 3, 0x10).byte(2 + 60 + 7, 0x51).byte(2 + 60 + 27, 0x03).le16(2 + 60 + 28, 42);
    ASSERT_TRUE(writeFile(withErrors.filePath(QStringLiteral("smartlog-01-error.bin")),
                          QByteArray(reinterpret_cast<const char *>(log.bytes.data()), 512)));
    const CliRun errors = corvanectl({QStringLiteral("decode"), withErrors.path()});
    EXPECT_TRUE(errors.out.contains("3 errors in the drive's life, 1 logged")) << errors.out.constData();
    EXPECT_TRUE(errors.out.contains("#1 at 42 h: READ DMA EXT: ABORT at LBA 16 (status 0x51, Active/Idle)"));
    const QJsonObject json = QJsonDocument::fromJson(
        corvanectl({QStringLiteral("decode"), QStringLiteral("--json"), withErrors.path()}).out).array()[0].toObject();
    EXPECT_EQ(json.value(QStringLiteral("lifetimeErrorsColor")).toString(), QStringLiteral("FailureColor"));
    EXPECT_EQ(json.value(QStringLiteral("errorLog")).toArray().size(), 1);

    QTemporaryDir tmp;
    const CliRun missing = corvanectl({QStringLiteral("decode"), tmp.filePath(QStringLiteral("gone")),
                                    test::dataPath(QStringLiteral("ata-pages/ST320410A--3.39"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.contains("== ST320410A--3.39")); // the other folders are still decoded
    EXPECT_TRUE(missing.err.contains("gone: no such folder"));

    const CliRun empty = corvanectl({QStringLiteral("decode"), tmp.path()});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_TRUE(empty.out.contains("note: no page files found"));

    EXPECT_EQ(corvanectl({QStringLiteral("decode")}).exitCode, 2);
    EXPECT_EQ(corvanectl({QStringLiteral("decode"), QStringLiteral("--yaml"), tmp.path()}).exitCode, 2);
}

// The verdicts themselves are the attribute pass's (AttributePassTest); here
// how the report shows them.
TEST(DecodeCommand, AttributeTableAndBothVerdicts)
{
    const auto folder = [](const char *name) { return test::dataPath(QStringLiteral("ata-pages/") + QLatin1String(name)); };
    const CliRun text = corvanectl({QStringLiteral("decode"), folder("WDC_WD5000AAKS--00TMA0-12.01C01")});
    EXPECT_TRUE(text.out.contains("  Health:                  Warning\n")) << text.out.constData();
    EXPECT_TRUE(text.out.contains("  SMART Status:            Passed\n"));
    EXPECT_TRUE(text.out.contains("  Attributes:\n    ID   NAME")) << text.out.constData();
    const QList<QByteArray> lines = text.out.split('\n');
    const auto row5 = std::find_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.startsWith("    5 "); });
    ASSERT_NE(row5, lines.end());
    EXPECT_TRUE(row5->endsWith("! failing")) << row5->constData();

    // No thresholds, a return status that says neither: noted, and the pass still runs.
    QTemporaryDir tmp;
    ASSERT_TRUE(writeFile(tmp.filePath(QStringLiteral("smart.bin")),
                          test::readData(QStringLiteral("ata-pages/WDC_WD2500JS-75NCB3--10.02E04/smart.bin"))));
    ASSERT_TRUE(writeFile(tmp.filePath(QStringLiteral("smart_status.txt")), "maybe\n"));
    const CliRun odd = corvanectl({QStringLiteral("decode"), QStringLiteral("--json"), tmp.path()});
    EXPECT_EQ(odd.exitCode, 0);
    EXPECT_TRUE(odd.err.contains("thresholds.bin: missing")) << odd.err.constData();
    EXPECT_TRUE(odd.err.contains("smart_status.txt: neither"));
    const QJsonObject oddDrive = QJsonDocument::fromJson(odd.out).array()[0].toObject();
    EXPECT_EQ(oddDrive.value(QStringLiteral("health")).toString(), QStringLiteral("Passed"));
    EXPECT_FALSE(oddDrive.value(QStringLiteral("vendorspecificAttributes")).toArray().isEmpty());
}
