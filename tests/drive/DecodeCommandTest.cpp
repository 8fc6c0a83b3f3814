// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageBuilder.h"
#include "TestData.h"
#include "support/Corvanectl.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::CliRun;
using corvane::test::writeFile;

namespace {

const test::Cli cli;

} // namespace

TEST(DecodeCommand, JsonOfRealAndDamagedFolders)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString damaged = tmp.filePath("damaged");
    const QString trac = "ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/";
    // IDENTIFY cut after the model field, a SMART page of 0xFF, a self-test log of zeros.
    ASSERT_TRUE(writeFile(damaged + "/identify.bin", test::readData(trac + "identify.bin").left(94)));
    ASSERT_TRUE(writeFile(damaged + "/smart.bin", QByteArray(512, '\xff')));
    ASSERT_TRUE(writeFile(damaged + "/smartlog-06-selftest.bin", QByteArray(700, '\0')));
    ASSERT_TRUE(writeFile(damaged + "/smartlog-01-error.bin", QByteArray()));

    const CliRun r = cli.run({"decode", "--json", test::dataPath(trac), damaged});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonArray drives = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(drives.size(), 2);

    const QJsonObject real = drives[0].toObject();
    EXPECT_EQ(real.value("source").toString(), "trac-1070_SSDSC2KB019T7R--SCV1DL57");
    EXPECT_EQ(real.value("diskMfgLogo").toString(), "intel");
    EXPECT_FALSE(real.contains("errorLog")); // no file, no keys

    // Decoded as a session would: the 0xFF data page reads as zeros, no verdict; every oddity noted.
    QJsonObject bad = drives[1].toObject();
    EXPECT_EQ(bad.take("mfgLogoPath").toString(), CORVANE_BUILD_DATA_DIR "/drive-logos/intel.png");
    test::expectGolden("decode/damaged.json", QJsonDocument(bad).toJson());
    test::expectGolden("decode/damaged.err", r.err);
}

TEST(DecodeCommand, ReadableReportAndExitCodes)
{
    const CliRun report = cli.run({"decode", test::dataPath("ata-pages/MCCOE64GEMPP--2.9.09")});
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_TRUE(report.out.startsWith("== MCCOE64GEMPP--2.9.09\n")) << report.out.constData();
    EXPECT_TRUE(report.out.contains("Firmware Version:        2.9.09"));
    EXPECT_EQ(report.err, QByteArray("corvanectl: Invalid Manufacturer: mccoe64gempp\n"));

    // A summary error log with one READ DMA EXT that failed with ABORT.
    QTemporaryDir withErrors;
    test::PageBuilder log;
    log.byte(0, 1).byte(1, 1).le16(452, 3).byte(2 + 48 + 7, 0x25).byte(2 + 60 + 1, 0x04)
        .byte(2 + 60 + 3, 0x10).byte(2 + 60 + 7, 0x51).byte(2 + 60 + 27, 0x03).le16(2 + 60 + 28, 42);
    ASSERT_TRUE(writeFile(withErrors.filePath("smartlog-01-error.bin"),
                          QByteArray(reinterpret_cast<const char *>(log.bytes.data()), 512)));
    const CliRun errors = cli.run({"decode", withErrors.path()});
    EXPECT_TRUE(errors.out.contains("3 errors in the drive's life, 1 logged")) << errors.out.constData();
    EXPECT_TRUE(errors.out.contains("#1 at 42 h: READ DMA EXT: ABORT at LBA 16 (status 0x51, Active/Idle)"));
    const QJsonObject json = QJsonDocument::fromJson(
        cli.run({"decode", "--json", withErrors.path()}).out).array()[0].toObject();
    EXPECT_EQ(json.value("lifetimeErrorsColor").toString(), "FailureColor");
    EXPECT_EQ(json.value("errorLog").toArray().size(), 1);

    QTemporaryDir tmp;
    const CliRun missing = cli.run({"decode", tmp.filePath("gone"), test::dataPath("ata-pages/ST320410A--3.39")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.contains("== ST320410A--3.39")); // the other folders are still decoded
    EXPECT_TRUE(missing.err.contains("gone: no such folder"));

    const CliRun empty = cli.run({"decode", tmp.path()});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_TRUE(empty.out.contains("note: no page files found"));

    EXPECT_EQ(cli.run({"decode"}).exitCode, 2);
}

TEST(DecodeCommand, AttributeTableAndBothVerdicts)
{
    const auto folder = [](const char *name) { return test::dataPath("ata-pages/" + QLatin1String(name)); };
    const CliRun text = cli.run({"decode", folder("WDC_WD5000AAKS--00TMA0-12.01C01")});
    EXPECT_TRUE(text.out.contains("  Health:                  Warning\n")) << text.out.constData();
    EXPECT_TRUE(text.out.contains("  SMART Status:            Passed\n"));
    EXPECT_TRUE(text.out.contains("  Attributes:\n    ID   NAME")) << text.out.constData();
    const QList<QByteArray> lines = text.out.split('\n');
    const auto row5 = std::find_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.startsWith("    5 "); });
    ASSERT_NE(row5, lines.end());
    EXPECT_TRUE(row5->endsWith("! failing")) << row5->constData();

    // No thresholds, a return status that says neither: noted, and the pass still runs.
    QTemporaryDir tmp;
    ASSERT_TRUE(writeFile(tmp.filePath("smart.bin"),
                          test::readData("ata-pages/WDC_WD2500JS-75NCB3--10.02E04/smart.bin")));
    ASSERT_TRUE(writeFile(tmp.filePath("smart_status.txt"), "maybe\n"));
    const CliRun odd = cli.run({"decode", "--json", tmp.path()});
    EXPECT_EQ(odd.exitCode, 0);
    EXPECT_TRUE(odd.err.contains("thresholds.bin: missing")) << odd.err.constData();
    EXPECT_TRUE(odd.err.contains("smart_status.txt: neither"));
    const QJsonObject oddDrive = QJsonDocument::fromJson(odd.out).array()[0].toObject();
    EXPECT_EQ(oddDrive.value("health").toString(), "Passed");
    EXPECT_FALSE(oddDrive.value("vendorspecificAttributes").toArray().isEmpty());
}
