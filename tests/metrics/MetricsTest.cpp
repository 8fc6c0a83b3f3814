// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveSource.h"
#include "TextfileExporter.h"
#include "metrics/PrometheusExposition.h"
#include "platform/DeviceStatus.h"
#include "platform/SharedDefaults.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include "support/Corvanectl.h"
#include "support/EventLoop.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kDemo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");
const QString kRules = QStringLiteral(CORVANE_SOURCE_DIR "/data/prometheus/corvane-alerts.yml");

// promtool from Debian's prometheus package (packaging/debian-packages.txt).
void expectPromtoolPasses(const QStringList &args, const QByteArray &input = {})
{
    const CliRun run = runProcess("promtool", args, QProcessEnvironment::systemEnvironment(), [&](QProcess &p) {
        p.write(input);
        p.closeWriteChannel();
    });
    ASSERT_NE(run.exitCode, -1) << "promtool is missing: install Debian's prometheus package";
    EXPECT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.out.toStdString() << run.err.toStdString();
}

QStringList sampleLines(const QByteArray &text)
{
    QStringList lines;
    for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.startsWith(QLatin1Char('#')))
            lines << line;
    return lines;
}

QByteArray withoutTimestamp(QByteArray text)
{
    static const QRegularExpression line("^corvane_scrape_timestamp_seconds .*$", QRegularExpression::MultilineOption);
    return QString::fromUtf8(text).replace(line, "TIMESTAMP").toUtf8();
}

TEST(Metrics, DemoSetPassesPromtoolAlertRulesFireLabelValuesAreEscapedAndReasonsShort)
{
    const CliRun metrics = Cli().run({"metrics", "--recorded", kDemo}); // its own settings and data folders
    ASSERT_EQ(metrics.exitCode, 0) << metrics.err.toStdString();
    EXPECT_TRUE(metrics.err.startsWith("corvanectl metrics: sdf: ")) << metrics.err.toStdString();
    EXPECT_EQ(metrics.err.count('\n'), 1);
    expectGolden("metrics-demo.prom", withoutTimestamp(metrics.out));

    expectPromtoolPasses({"check", "metrics"}, metrics.out);
    expectPromtoolPasses({"check", "rules", kRules});
    expectPromtoolPasses({"test", "rules", QStringLiteral(CORVANE_SOURCE_DIR "/tests/metrics/corvane-alerts-test.yml")});

    const QString model = "Evil \"Quoted\" C:\\Disk\nSecond line Ünïcødé 日本";
    const QVariantMap drive{{"bsdName", "sdx"}, {"Device Model", model}, {"Serial Number", "  S\\N  "},
                            {"Firmware Version", "1.0"},
                            {"location", "External"},
                            {"isNVMe", false},
                            {"Transport Type", "SATA 3.2, 6.0 Gb/s (current 3.0 Gb/s)"},
                            {"attributeHealth", "Warning"}};
    const QByteArray text = prometheusExposition({drive}, 1700000000.5, {}, [](const QString &m, const QString &) {
        return m.startsWith(QLatin1String("Evil")) ? "Family \"F\"" : QString();
    });
    expectGolden("metrics-escaping.prom", text);
    const QStringList errors = sampleLines(prometheusExposition(
        {}, 0, {{"sdb", "timeout", 1}, {"sda", "no_device", 2}, {"sdb", "timeout", 4}, {"sdb", "no_device", 8}}));
    EXPECT_EQ(errors.filter("read_errors").join('\n'), "corvane_drive_read_errors_total{device=\"sda\",reason=\"no_device\"} 2\n"
                                                       "corvane_drive_read_errors_total{device=\"sdb\",reason=\"no_device\"} 8\n"
                                                       "corvane_drive_read_errors_total{device=\"sdb\",reason=\"timeout\"} 5");
    EXPECT_EQ(escapeLabelValue("a\\\"\n\tü"), QByteArray("a\\\\\\\"\\n\tü"));
    expectPromtoolPasses({"check", "metrics"}, text);

    QStringList reasons;
    for (int32_t status : {statusFromErrno(EACCES), statusFromErrno(ENODEV), statusFromErrno(EIO), kStatusTimeout,
                           statusFromAtaRegisters(0x51, 0x04), statusFromNvme(0x4002), statusFromSense(0x3, 0x11, 0x00),
                           kStatusBadChecksum})
        reasons << readErrorReason(status);
    EXPECT_EQ(reasons, QStringList({"permission_denied", "no_device", "os_error_eio", "timeout", "ata_error", "nvme_error",
                                    "scsi_error", "transfer_error"}));
}

QList<QVariantMap> cannedDrives(int count)
{
    QList<QVariantMap> drives;
    for (int i = 0; i < count; ++i)
        drives.append({{"bsdName", QStringLiteral("sd%1").arg(QChar(u'a' + i))}, {"Device Model", QStringLiteral("Disk %1").arg(i)},
                       {"isNVMe", false}, {"attributeHealth", "Passed"}, {"health", "Passed"}, {"temperature", 30 + i}});
    return drives;
}

TEST(Metrics, AgentTextfileIsReplacedWholeAndCountsReadErrors)
{
    app();
    QTemporaryDir home;
    const QString folder = home.filePath("textfile");
    ASSERT_TRUE(QDir().mkpath(folder));
    SharedDefaults defaults(home.filePath("settings.conf"));
    TextfileExporter exporter(defaults);
    EXPECT_TRUE(exporter.write(cannedDrives(1))); // no folder set: nothing to do
    EXPECT_TRUE(QDir(folder).isEmpty());

    defaults.setValue(QLatin1String(kTextfileDirectoryKey), folder);
    const QString path = QDir(folder).filePath("corvane.prom");

    // One drive, then eight: a reader that caught a file half-written would
    // see neither of the two texts.
    const QByteArray small = withoutTimestamp(prometheusExposition(cannedDrives(1), 0, {}, driveDatabaseFamily));
    const QByteArray large = withoutTimestamp(prometheusExposition(cannedDrives(8), 0, {}, driveDatabaseFamily));
    ASSERT_TRUE(exporter.write(cannedDrives(1)));
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::thread writer([&] {
        for (int i = 0; i < 1000; ++i)
            failures += !exporter.write(cannedDrives(i % 2 ? 8 : 1));
        done = true;
    });
    int reads = 0, partial = 0;
    while (!done) {
        QFile f(path); // it must exist at every moment
        const QByteArray seen = f.open(QIODevice::ReadOnly) ? withoutTimestamp(f.readAll()) : QByteArray("(missing)");
        ++reads;
        partial += seen != small && seen != large;
    }
    writer.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(partial, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"corvane.prom"});
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::ReadOther);

    QTemporaryDir other;
    TextfileExporter overriding(defaults, other.path());
    QList<QVariantMap> drives = cannedDrives(2);
    drives[1].insert(QLatin1String(kReadStatusKey), statusFromErrno(EACCES));
    ASSERT_TRUE(overriding.write(drives));
    ASSERT_TRUE(overriding.write(drives));
    QFile f(QDir(other.path()).filePath("corvane.prom"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    expectGolden("textfile-read-errors.prom", withoutTimestamp(f.readAll()));

    TextfileExporter missing(defaults, home.filePath("no/such/folder"));
    EXPECT_FALSE(missing.write(drives));
}

} // namespace
