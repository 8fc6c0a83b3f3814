// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl show, record and test, run as a user runs them on the demo set.
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

namespace {

const QString kDemo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");

const QStringList kDemoDrives{"sda", "sdb", "sdc", "sdd", "sde", "sdf", "nvme0n1", "nvme1n1"};

} // namespace

TEST(ShowCommand, GroupsEveryKeyAndMarksFailingValues)
{
    const Cli cli;
    const CliRun sdb = cli.run({"show", "--recorded", kDemo, "/dev/sdb"});
    ASSERT_EQ(sdb.exitCode, 0) << sdb.err.constData();
    const QString text = QString::fromUtf8(sdb.out);
    EXPECT_TRUE(text.startsWith("sdb: WDC WD5000AAKS-00TMA0, Warning\n")) << qPrintable(text);
    for (const char *part : {"\nIdentity\n", "\nHealth\n", "\nCapabilities\n", "\nAttributes (revision ", "\nSelf-tests\n",
                             "Serial Number:", "WD-WCAPW0493929"})
        EXPECT_TRUE(text.contains(QLatin1String(part))) << part << qPrintable(text);
    // The reallocated-sector count is what makes this drive fail: its row is marked.
    const QStringList lines = text.split(QLatin1Char('\n'));
    const auto row = std::find_if(lines.begin(), lines.end(), [](const QString &l) { return l.trimmed().startsWith("5 "); });
    ASSERT_NE(row, lines.end());
    EXPECT_TRUE(row->contains("! ")) << qPrintable(*row);
    EXPECT_FALSE(text.contains("\nOther\n")) << "keys no group shows:\n" << qPrintable(text);

    // The JSON is the whole properties dictionary.
    const QJsonObject json = cli.showJson(kDemo, "sdb");
    EXPECT_EQ(json.value("attributeHealth").toString(), "Warning");
    EXPECT_EQ(json.value("vendorspecificAttributes").toArray().size(), 17);

    const CliRun nvme = cli.run({"show", "--recorded", kDemo, "nvme1n1"});
    ASSERT_EQ(nvme.exitCode, 0) << nvme.err.constData();
    const QString nvmeText = QString::fromUtf8(nvme.out);
    for (const char *section : {"\nIdentity\n", "\nHealth\n", "\nPower states\n", "\nFirmware slots\n", "\nError log\n"})
        EXPECT_TRUE(nvmeText.contains(QLatin1String(section))) << section << qPrintable(nvmeText);
    EXPECT_TRUE(nvmeText.startsWith("nvme1n1: QEMU NVMe Ctrl, Failed\n")) << qPrintable(nvmeText);
    EXPECT_FALSE(nvmeText.contains("\nOther\n")) << qPrintable(nvmeText);

    // Every field has a label in words, and a value its unit.
    static const QRegularExpression rawKey("^  [a-z][A-Za-z_]*:", QRegularExpression::MultilineOption);
    EXPECT_FALSE(rawKey.match(nvmeText).hasMatch()) << qPrintable(rawKey.match(nvmeText).captured());
    EXPECT_FALSE(rawKey.match(text).hasMatch()) << qPrintable(rawKey.match(text).captured());
    for (const char *row : {"Temperature:", "Life remaining:", "Data units read:", "Host read commands:",
                            "Time above warning temperature:", "Available Spare:", "NVM subsystem reliability degraded"})
        EXPECT_TRUE(nvmeText.contains(QLatin1String(row))) << row;
    static const QRegularExpression celsius("\\n  Temperature: +\\d+(\\.\\d+)? °C\\n");
    EXPECT_TRUE(celsius.match(nvmeText).hasMatch()) << qPrintable(nvmeText);
    EXPECT_TRUE(celsius.match(text).hasMatch()) << qPrintable(text);
    static const QRegularExpression spare("\\n  Available Spare: +\\d+%\\n");
    EXPECT_TRUE(spare.match(nvmeText).hasMatch());
    static const QRegularExpression polling("\\n  Short self-test polling time: +\\d+ min\\n");
    EXPECT_TRUE(polling.match(text).hasMatch());
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

    for (const QString &drive : kDemoDrives) {
        const QJsonObject source = cli.showJson(kDemo, drive);
        const QJsonObject copy = cli.showJson(target, drive);
        EXPECT_FALSE(source.isEmpty()) << qPrintable(drive);
        EXPECT_EQ(copy, source) << qPrintable(drive);
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
