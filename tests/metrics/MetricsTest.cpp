// SPDX-License-Identifier: GPL-3.0-or-later
// Prometheus metrics: `corvanectl metrics` on the demo set as promtool sees
// it, the alert rules against series from it, label escaping, and the
// agent's textfile as node_exporter's collector reads it.
#include "DriveSource.h"
#include "SMARTWatcher.h"
#include "TextfileExporter.h"
#include "metrics/PrometheusExposition.h"
#include "platform/DeviceStatus.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include "support/Corvanectl.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

using namespace corvane;

namespace {

const QString kDemo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");
const QString kRules = QStringLiteral(CORVANE_SOURCE_DIR "/data/prometheus/corvane-alerts.yml");

using test::app;
using ProcessRun = test::CliRun;
using test::Cli;
using test::runProcess;

// promtool from Debian's prometheus package (packaging/debian-packages.txt).
ProcessRun promtool(const QStringList &args, const QByteArray &input = {})
{
    return runProcess("promtool", args, QProcessEnvironment::systemEnvironment(), [&](QProcess &p) {
        p.write(input);
        p.closeWriteChannel();
    });
}

// `corvanectl metrics` with its own settings and data folders.
ProcessRun corvanectlMetrics(const QStringList &args)
{
    static const Cli cli; // its own settings and data folders
    return cli.run(QStringList{"metrics"} + args);
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

TEST(Metrics, DemoSetPassesPromtoolAndTheAlertRulesFire)
{
    const ProcessRun metrics = corvanectlMetrics({"--recorded", kDemo});
    ASSERT_EQ(metrics.exitCode, 0) << metrics.err.toStdString();
    EXPECT_TRUE(metrics.err.startsWith("corvanectl metrics: sdf: ")) << metrics.err.toStdString();
    EXPECT_EQ(metrics.err.count('\n'), 1);
    const QStringList lines = sampleLines(metrics.out);
    for (const char *expected : {
             "corvane_drive_health{device=\"sda\"} 0",
             "corvane_drive_health{device=\"sdb\"} 1",
             "corvane_drive_health{device=\"sdc\"} 2",
             "corvane_drive_health{device=\"sdf\"} -1",
             "corvane_drive_health{device=\"nvme0n1\"} 0",
             "corvane_drive_health{device=\"nvme1n1\"} 2",
             "corvane_drive_read_errors_total{device=\"sdf\",reason=\"permission_denied\"} 1",
             "corvane_ata_smart_threshold_exceeded{device=\"sda\"} 0",
             "corvane_ata_smart_threshold_exceeded{device=\"sdc\"} 1",
             "corvane_nvme_critical_warning{device=\"nvme1n1\",bit=\"2\",name=\"reliability_degraded\"} 1",
             "corvane_nvme_critical_warning{device=\"nvme1n1\",bit=\"0\",name=\"spare_below_threshold\"} 0",
             "corvane_nvme_critical_warning{device=\"nvme0n1\",bit=\"2\",name=\"reliability_degraded\"} 0",
         })
        EXPECT_TRUE(lines.contains(QLatin1String(expected))) << expected;
    EXPECT_EQ(lines.filter(QRegularExpression("^corvane_drive_info\\{")).size(), 8);
    EXPECT_EQ(lines.filter(QRegularExpression("^corvane_nvme_critical_warning\\{")).size(), 12);
    EXPECT_EQ(lines.filter(QRegularExpression("^corvane_[a-z_]+\\{device=\"sdf\"")).size(), 3);

    const ProcessRun check = promtool({"check", "metrics"}, metrics.out);
    ASSERT_NE(check.exitCode, -1) << "promtool is missing: install Debian's prometheus package";
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();

    const ProcessRun rules = promtool({"check", "rules", kRules});
    EXPECT_EQ(rules.exitCode, 0) << rules.out.toStdString() << rules.err.toStdString();
    // The alerts the demo set can't show, on hand-made series.
    const ProcessRun others = promtool({"test", "rules",
                                        QStringLiteral(CORVANE_SOURCE_DIR "/tests/metrics/corvane-alerts-test.yml")});
    EXPECT_EQ(others.exitCode, 0) << others.out.toStdString() << others.err.toStdString();

    // Every demo sample as a series that stays for half an hour; the Failed
    // alert must fire for exactly the two failed drives once its 5 minutes pass.
    QTemporaryDir dir;
    QByteArray test = "rule_files: ['" + kRules.toUtf8() + "']\nevaluation_interval: 1m\ntests:\n  - interval: 1m\n    input_series:\n";
    for (const QString &line : lines) {
        const qsizetype blank = line.lastIndexOf(QLatin1Char(' '));
        QString series = line.left(blank);
        test += "      - series: '" + series.replace(QLatin1Char('\''), QLatin1String("''")).toUtf8() + "'\n        values: '"
            + line.mid(blank + 1).toUtf8() + "x30'\n";
    }
    test += "    alert_rule_test:\n      - eval_time: 4m\n        alertname: CorvaneDriveFailed\n        exp_alerts: []\n"
            "      - eval_time: 10m\n        alertname: CorvaneDriveFailed\n        exp_alerts:\n";
    for (const char *failed : {"sdc", "nvme1n1"}) {
        const QRegularExpression infoLine(QStringLiteral("^corvane_drive_info\\{device=\"%1\"").arg(QLatin1String(failed)));
        const QString info = lines.filter(infoLine).value(0);
        const QString model = QRegularExpression("model=\"([^\"]*)\"").match(info).captured(1);
        const QString serial = QRegularExpression("serial=\"([^\"]*)\"").match(info).captured(1);
        ASSERT_FALSE(model.isEmpty()) << failed;
        test += QStringLiteral("          - exp_labels: {severity: critical, device: %1, model: '%2', serial: '%3'}\n"
                               "            exp_annotations:\n"
                               "              summary: 'Drive %1 on  has Failed'\n"
                               "              description: '%2 (serial %3) reports a failing SMART status or NVMe "
                               "reliability loss. Replace it and restore from backup.'\n")
                    .arg(QLatin1String(failed), model, serial)
                    .toUtf8();
    }
    QFile file(dir.filePath("failed-test.yml"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(test);
    file.close();
    const ProcessRun unit = promtool({"test", "rules", file.fileName()});
    EXPECT_EQ(unit.exitCode, 0) << unit.out.toStdString() << unit.err.toStdString() << test.toStdString();
}

TEST(Metrics, LabelValuesAreEscapedAndReasonsAreShort)
{
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
    EXPECT_TRUE(sampleLines(text).contains(QStringLiteral(
        "corvane_drive_info{device=\"sdx\",model=\"Evil \\\"Quoted\\\" C:\\\\Disk\\nSecond line Ünïcødé 日本\","
        "serial=\"S\\\\N\",firmware=\"1.0\",interface=\"SATA\",location=\"External\","
        "model_family=\"Family \\\"F\\\"\"} 1")))
        << text.toStdString();
    EXPECT_TRUE(sampleLines(text).contains("corvane_scrape_timestamp_seconds 1700000000.5"));
    EXPECT_EQ(escapeLabelValue("a\\\"\n\tü"), QByteArray("a\\\\\\\"\\n\tü"));
    const ProcessRun check = promtool({"check", "metrics"}, text);
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();

    EXPECT_EQ(readErrorReason(statusFromErrno(EACCES)), "permission_denied");
    EXPECT_EQ(readErrorReason(statusFromErrno(ENODEV)), "no_device");
    EXPECT_EQ(readErrorReason(statusFromErrno(EIO)), "os_error_eio");
    EXPECT_EQ(readErrorReason(kStatusTimeout), "timeout");
    EXPECT_EQ(readErrorReason(statusFromAtaRegisters(0x51, 0x04)), "ata_error");
    EXPECT_EQ(readErrorReason(statusFromNvme(0x4002)), "nvme_error");
    EXPECT_EQ(readErrorReason(statusFromSense(0x3, 0x11, 0x00)), "scsi_error");
    EXPECT_EQ(readErrorReason(kStatusBadChecksum), "transfer_error");
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
            if (!exporter.write(cannedDrives(i % 2 ? 8 : 1)))
                ++failures;
        done = true;
    });
    int reads = 0, partial = 0;
    while (!done) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            ++partial; // the file must exist at every moment
            continue;
        }
        const QByteArray seen = withoutTimestamp(f.readAll());
        ++reads;
        if (seen != small && seen != large)
            ++partial;
    }
    writer.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(partial, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 0);
    // No temporary file is left for the collector, and it may read the file as another user.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"corvane.prom"});
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::ReadOther);

    // The command line wins over the setting; read errors add up gather by gather.
    QTemporaryDir other;
    TextfileExporter overriding(defaults, other.path());
    QList<QVariantMap> drives = cannedDrives(2);
    drives[1].insert(QLatin1String(kReadStatusKey), statusFromErrno(EACCES));
    ASSERT_TRUE(overriding.write(drives));
    ASSERT_TRUE(overriding.write(drives));
    QFile f(QDir(other.path()).filePath("corvane.prom"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(sampleLines(f.readAll())
                    .contains("corvane_drive_read_errors_total{device=\"sdb\",reason=\"permission_denied\"} 2"));

    // A folder that can't be written keeps nothing half-done and says false.
    TextfileExporter missing(defaults, home.filePath("no/such/folder"));
    EXPECT_FALSE(missing.write(drives));
}

TEST(Metrics, WatcherHandsEveryGatherToTheTextfile)
{
    app();
    QTemporaryDir home;
    SharedDefaults defaults(home.filePath("settings.conf"));
    CannedDriveSource source(cannedDrives(3));
    SMARTWatcher watcher(source, defaults);
    watcher.setContainer(home.filePath("group"));
    watcher.setBus(QDBusConnection("metrics-tests-no-bus"));
    TextfileExporter exporter(defaults, home.path());
    QObject::connect(&watcher, &SMARTWatcher::drivesRead, &exporter, &TextfileExporter::write);
    ASSERT_TRUE(watcher.gatherSMARTDrives(false));
    QFile f(QDir(home.path()).filePath("corvane.prom"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = sampleLines(f.readAll());
    EXPECT_TRUE(lines.contains("corvane_drive_temperature_celsius{device=\"sdc\"} 32"));
    EXPECT_EQ(lines.filter("corvane_drive_health{").size(), 3);
}

} // namespace
