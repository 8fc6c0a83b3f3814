// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl show, record, test and history, run as a user runs them on the demo set.
#include "TestData.h"
#include "support/Corvanectl.h"

using corvane::test::Cli;
using corvane::test::CliRun;

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <map>

namespace {

const QString kDemo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");

} // namespace

TEST(ShowCommand, GroupsEveryKeyAndMarksFailingValues)
{
    const Cli cli;
    // Lines (blanks folded) each drive's text holds: the heading, the groups,
    // labels in words and values with their units.
    const std::map<QString, QStringList> expected{
        {"/dev/sdb",
         {"sdb: WDC WD5000AAKS-00TMA0, Warning", "Identity", "Health", "Capabilities", "Attributes (revision 16)",
          "Self-tests", "Serial Number: WD-WCAPW0493929", "Capacity: 500107862016 bytes [500.1 GB]",
          "Temperature: 40 °C", "Short self-test polling time: 2 min", "Extended offline: about 2 hours, 30 minutes",
          // The counts that make this drive fail: their rows are marked.
          "5 Reallocated Sector Count 192 192 140 0x0033 Pre-fail Always 63 (0 0) ! failing",
          "197 Current Pending Sector 194 193 0 0x0012 Old age Always 529 ! failing",
          "198 Offline Uncorrectable 200 193 0 0x0010 Old age Offline 0"}},
        {"nvme1n1",
         {"nvme1n1: QEMU NVMe Ctrl, Failed", "Identity", "Health", "Power states", "Firmware slots", "Error log",
          "Critical Warning: 4 (! NVM subsystem reliability degraded)", "Temperature: 49.85 °C",
          "Available Spare: 0%", "Life remaining: 100%", "Data units read: 1 × 512 000 bytes", "Host read commands: 3",
          "Time above warning temperature: 0 min",
          "Extended Completed: segments failed at 1 h, segment 2, failing LBA 1234567"}},
    };
    static const QRegularExpression rawKey("^  [a-z][A-Za-z_]*:", QRegularExpression::MultilineOption);
    for (const auto &[drive, lines] : expected) {
        const CliRun r = cli.run({"show", "--recorded", kDemo, drive});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QString text = QString::fromUtf8(r.out);
        QStringList simplified;
        for (const QString &line : text.split(QLatin1Char('\n')))
            simplified << line.simplified();
        EXPECT_EQ(simplified.first(), lines.first());
        for (const QString &line : lines)
            EXPECT_TRUE(simplified.contains(line)) << qPrintable(line) << "\n" << qPrintable(text);
        EXPECT_FALSE(simplified.contains("Other")) << "keys no group shows:\n" << qPrintable(text);
        EXPECT_FALSE(rawKey.match(text).hasMatch()) << qPrintable(rawKey.match(text).captured());
    }

    // The JSON is the whole properties dictionary.
    const QJsonObject json = cli.showJson(kDemo, "sdb");
    EXPECT_EQ(json.value("attributeHealth").toString(), "Warning");
    EXPECT_EQ(json.value("vendorspecificAttributes").toArray().size(), 17);
}

// Every command, the ones added later included, answers --help and refuses
// an unknown option with its usage.
TEST(Cli, EveryCommandHasHelp)
{
    const Cli cli;
    const CliRun top = cli.run({"--help"});
    ASSERT_EQ(top.exitCode, 0);
    QStringList names;
    static const QRegularExpression command("^  ([a-z-]+) ", QRegularExpression::MultilineOption);
    for (auto it = command.globalMatch(QString::fromUtf8(top.out)); it.hasNext();)
        names << it.next().captured(1);
    for (const char *known : {"decode", "list", "lookup", "record", "show", "test"})
        EXPECT_TRUE(names.contains(QLatin1String(known))) << known;
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const CliRun help = cli.run({name, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.out.startsWith("Usage: corvanectl " + name.toUtf8() + " [options]")) << help.out.constData();
        EXPECT_TRUE(help.out.contains("--help"));
        EXPECT_TRUE(help.err.isEmpty());
        const CliRun wrong = cli.run({name, "--no-such-option"});
        EXPECT_EQ(wrong.exitCode, 2);
        EXPECT_TRUE(wrong.out.isEmpty());
        EXPECT_TRUE(wrong.err.contains("Unknown option 'no-such-option'")) << wrong.err.constData();
        EXPECT_TRUE(wrong.err.contains("Usage: corvanectl " + name.toUtf8())) << wrong.err.constData();
    }
}

TEST(ShowCommand, UnreadableAndUnknownDrivesAreExplained)
{
    const Cli cli;
    const CliRun sdf = cli.run({"show", "--recorded", kDemo, "sdf"});
    EXPECT_EQ(sdf.exitCode, 1);
    EXPECT_TRUE(sdf.err.contains("corvanectl show: sdf: Install the Corvane helper")) << sdf.err.constData();
    EXPECT_EQ(sdf.err.count('\n'), 1);
    EXPECT_TRUE(sdf.out.startsWith("sdf: INTEL SSDSA2CW120G3, -\n")) << sdf.out.constData();

    const CliRun unknown = cli.run({"show", "--recorded", kDemo, "sdz"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.out.isEmpty());
    EXPECT_TRUE(unknown.err.contains("no SMART-capable drive 'sdz'")) << unknown.err.constData();
    EXPECT_TRUE(unknown.err.contains("nvme0n1, nvme1n1, sda, sdb, sdc, sdd, sde, sdf"));
    // Listed in the tree but without SMART (a USB stick): unknown as well.
    EXPECT_EQ(cli.run({"show", "--recorded", kDemo, "sdg"}).exitCode, 1);

    // A drive that vanished between listing and reading.
    QTemporaryDir tmp;
    const QString copy = tmp.filePath("demo");
    ASSERT_EQ(QProcess::execute("cp", {"-r", kDemo, copy}), 0);
    ASSERT_TRUE(QDir(copy + "/drives/sdc").removeRecursively());
    const CliRun gone = cli.run({"show", "--recorded", copy, "sdc"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(gone.err.contains("sdc: ")) << gone.err.constData();
    EXPECT_TRUE(gone.out.contains("Health: - (no SMART data was read)")) << gone.out.constData();

    EXPECT_EQ(cli.run({"show"}).exitCode, 2);
    EXPECT_EQ(cli.run({"show", "sda", "sdb"}).exitCode, 2);
    const CliRun badSet = cli.run({"show", "--recorded", tmp.filePath("none"), "sda"});
    EXPECT_EQ(badSet.exitCode, 1);
    EXPECT_TRUE(badSet.err.contains("cannot open recorded set")) << badSet.err.constData();
}

TEST(RecordCommand, RecordedSetShowsTheSameAsItsSource)
{
    const Cli cli;
    QTemporaryDir tmp;
    const QString target = tmp.filePath("copy");
    const CliRun rec = cli.run({"record", "--recorded", kDemo, target});
    ASSERT_EQ(rec.exitCode, 0) << rec.err.constData();
    EXPECT_TRUE(rec.out.contains("sdf: not readable, recorded as such: Install the Corvane helper")) << rec.out.constData();
    EXPECT_TRUE(rec.out.contains("Recorded 8 drives into")) << rec.out.constData();

    for (const char *drive : {"sda", "sdb", "sdc", "sdd", "sde", "sdf", "nvme0n1", "nvme1n1"}) {
        const QJsonObject source = cli.showJson(kDemo, drive);
        const QJsonObject copy = cli.showJson(target, drive);
        EXPECT_FALSE(source.isEmpty()) << drive;
        EXPECT_EQ(copy, source) << drive;
    }
    // The pages are the drive's bytes, unchanged.
    for (const char *page : {"identify.bin", "smart.bin", "thresholds.bin", "smartlog-06-selftest.bin"}) {
        QFile a(kDemo + "/drives/sde/" + QLatin1String(page));
        QFile b(target + "/drives/sde/" + QLatin1String(page));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << page;
        EXPECT_EQ(a.readAll(), b.readAll()) << page;
    }

    // An earlier recording is never written over.
    const auto registry = [&] {
        QFile f(target + "/registry.json");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = registry();
    ASSERT_FALSE(before.isEmpty());
    const CliRun again = cli.run({"record", "--recorded", kDemo, target});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("not an empty folder")) << again.err.constData();
    EXPECT_EQ(registry(), before);
    EXPECT_EQ(cli.run({"record"}).exitCode, 2);
}

TEST(TestCommand, FollowsASimulatedTestToItsLogEntry)
{
    const Cli cli;
    const CliRun pass = cli.run({"test", "short", "--recorded", kDemo, "sde"});
    ASSERT_EQ(pass.exitCode, 0) << pass.err.constData() << pass.out.constData();
    const QString text = QString::fromUtf8(pass.out);
    for (const char *part : {"Short self-test started on sde", "] Test In Progress ", "Self-test ended: Pass 100%",
                             "Newest self-test log entry:\n   1 Short offline", "Completed without error 100%"})
        EXPECT_TRUE(text.contains(QLatin1String(part))) << part << qPrintable(text);
    // Not a terminal: plain lines, no carriage returns.
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));

    // The drive whose return status says "failing" fails its test too.
    const CliRun fail = cli.run({"test", "extended", "--recorded", kDemo, "sdc"});
    EXPECT_EQ(fail.exitCode, 1) << fail.err.constData();
    EXPECT_TRUE(fail.out.contains("Self-test ended: Read Failure 70%")) << fail.out.constData();
    EXPECT_TRUE(fail.out.contains("Extended offline")) << fail.out.constData();

    EXPECT_EQ(cli.run({"test", "short", "--recorded", kDemo, "nvme0n1"}).exitCode, 1);
    const CliRun denied = cli.run({"test", "short", "--recorded", kDemo, "sdf"});
    EXPECT_EQ(denied.exitCode, 1);
    EXPECT_TRUE(denied.err.contains("Install the Corvane helper")) << denied.err.constData();
    EXPECT_EQ(cli.run({"test", "long", "sda"}).exitCode, 2);
}

TEST(TestCommand, CtrlCStopsFollowingOnly)
{
    const Cli cli;
    const CliRun r = cli.run({"test", "extended", "--recorded", kDemo, "sde"}, [](QProcess &p) {
        // Interrupt once the first progress line is out.
        QByteArray seen;
        while (!seen.contains("] Test In Progress") && p.waitForReadyRead(20000))
            seen += p.peek(1 << 16);
        ::kill(pid_t(p.processId()), SIGINT);
    });
    EXPECT_EQ(r.exitCode, 130) << r.err.constData();
    EXPECT_TRUE(r.out.contains("the drive keeps testing on its own")) << r.out.constData();
    EXPECT_FALSE(r.out.contains("Self-test ended"));
}

// A history generated from the demo set.
TEST(HistoryCommand, PrintsTheSeriesOfADriveByNameOrIdentity)
{
    const Cli cli;
    QTemporaryDir dir;
    const QString file = dir.filePath("history.sqlite");
    const QStringList generate{"history-generate", "--recorded", kDemo, "--days",
                               "2", "--end", "2026-12-01T12:00:00Z", file};
    const CliRun made = cli.run(generate);
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    EXPECT_EQ(made.out, file.toUtf8() + ": 8 drives, 49 samples each\n");
    // Never over an existing file.
    EXPECT_EQ(cli.run(generate).exitCode, 1);

    const CliRun json = cli.run({"history", "--json", "--file", file, "/dev/sdb"});
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    const QJsonArray series = QJsonDocument::fromJson(json.out).array();
    ASSERT_EQ(series.size(), 49);
    const QJsonObject first = series.first().toObject(), last = series.last().toObject();
    EXPECT_EQ(first.value("time").toString(), "2026-11-29T12:00:00Z");
    EXPECT_EQ(first.value("health").toString(), "Passed");
    EXPECT_EQ(first.value("reallocated").toInt(), 0);
    EXPECT_EQ(last.value("time").toString(), "2026-12-01T12:00:00Z");
    EXPECT_EQ(last.value("health").toString(), "Warning");
    EXPECT_EQ(last.value("bsdName").toString(), "sdb");
    EXPECT_EQ(last.value("reallocated").toInt(), 63);
    EXPECT_EQ(last.value("powerOnHours").toInt() - first.value("powerOnHours").toInt(), 48);
    EXPECT_FALSE(last.contains("mediaErrors"));
    const QString identity = last.value("drive").toString();
    EXPECT_EQ(identity, "WDC WD5000AAKS-00TMA0|WD-WCAPW0493929");

    const CliRun text = cli.run({"history", "--since", "2026-12-01T00:00:00Z", "--file", file, identity});
    ASSERT_EQ(text.exitCode, 0) << text.err.constData();
    const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + 13);
    EXPECT_EQ(lines[0], "sdb: WDC WD5000AAKS-00TMA0, serial WD-WCAPW0493929, 13 samples");
    EXPECT_EQ(lines[1].simplified(), QStringLiteral("Time Name Health Temperature (°C) Power-on hours (h) Reallocated sectors "
                                                    "Pending sectors Offline uncorrectable CRC errors"));
    EXPECT_TRUE(lines.last().simplified().contains(" sdb Warning ")) << qPrintable(lines.last());

    // Nothing recorded: said, with what there is.
    const CliRun none = cli.run({"history", "--file", file, "sdz"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.startsWith("corvanectl history: no history for 'sdz'; drives with history: ")) << none.err.constData();
    const CliRun fresh = cli.run({"history", "sda"});
    EXPECT_EQ(fresh.exitCode, 1);
    EXPECT_TRUE(fresh.err.contains("no history has been recorded yet")) << fresh.err.constData();
    const CliRun badDate = cli.run({"history", "--since", "yesterday", "sda"});
    EXPECT_EQ(badDate.exitCode, 2);
    EXPECT_TRUE(badDate.err.startsWith("corvanectl history: --since: 'yesterday' is not a date")) << badDate.err.constData();
}
