// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl show, record, test and history, run as a user runs them on the demo set.
#include "support/Corvanectl.h"
#include "support/Golden.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

using corvane::test::Cli;
using corvane::test::CliRun;
using corvane::test::expectGolden;

namespace {

const QString kDemo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");

// What a terminal shows for one command: the command, its output, its errors and its exit code.
QByteArray transcript(const Cli &cli, const QStringList &args)
{
    const CliRun r = cli.run(args);
    return "$ corvanectl " + args.join(u' ').replace(kDemo, u"DEMO"_qs).toUtf8() + '\n' + r.out
           + (r.err.isEmpty() ? QByteArray() : "[stderr] " + r.err) + "[exit " + QByteArray::number(r.exitCode) + "]\n\n";
}

} // namespace

// Every drive of the demo set, the unreadable one, one unknown and one without SMART (a USB stick).
TEST(ShowCommand, ShowsEveryDemoDriveAndExplainsTheOthers)
{
    const Cli cli;
    QByteArray text;
    for (const char *drive : {"sda", "/dev/sdb", "sdc", "sdd", "sde", "sdf", "sdg", "sdz", "nvme0n1", "nvme1n1"})
        text += transcript(cli, {"show", "--recorded", kDemo, drive});
    text += transcript(cli, {"show"}) + transcript(cli, {"show", "sda", "sdb"});
    expectGolden("cli-show.txt", text);
    expectGolden("cli-show-sdb.json", cli.run({"show", "--recorded", kDemo, "--json", "sdb"}).out);

    // A drive that vanished between listing and reading.
    QTemporaryDir tmp;
    const QString copy = tmp.filePath("demo");
    ASSERT_EQ(QProcess::execute("cp", {"-r", kDemo, copy}), 0);
    ASSERT_TRUE(QDir(copy + "/drives/sdc").removeRecursively());
    const CliRun gone = cli.run({"show", "--recorded", copy, "sdc"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(gone.err.contains("sdc: ")) << gone.err.constData();
    EXPECT_TRUE(gone.out.contains("Health: - (no SMART data was read)")) << gone.out.constData();

    const CliRun badSet = cli.run({"show", "--recorded", tmp.filePath("none"), "sda"});
    EXPECT_EQ(badSet.exitCode, 1);
    EXPECT_TRUE(badSet.err.contains("cannot open recorded set")) << badSet.err.constData();
}

// Every command, the ones added later included, answers --help and refuses
// an unknown option with its usage.
TEST(Cli, EveryCommandHasHelp)
{
    const Cli cli;
    QByteArray text = transcript(cli, {"--help"});
    static const QRegularExpression command("^  ([a-z-]+) ", QRegularExpression::MultilineOption);
    for (auto it = command.globalMatch(QString::fromUtf8(text)); it.hasNext();) {
        const QString name = it.next().captured(1);
        text += transcript(cli, {name, "--help"}) + transcript(cli, {name, "--no-such-option"});
    }
    expectGolden("cli-help.txt", text);
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
        EXPECT_FALSE(source.isEmpty()) << drive;
        EXPECT_EQ(cli.showJson(target, drive), source) << drive;
    }
    // The pages are the drive's bytes, unchanged.
    const auto read = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    for (const char *page : {"identify.bin", "smart.bin", "thresholds.bin", "smartlog-06-selftest.bin"})
        EXPECT_EQ(read(target + "/drives/sde/" + page), read(kDemo + "/drives/sde/" + page)) << page;

    // An earlier recording is never written over.
    const QByteArray before = read(target + "/registry.json");
    ASSERT_FALSE(before.isEmpty());
    const CliRun again = cli.run({"record", "--recorded", kDemo, target});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("not an empty folder")) << again.err.constData();
    EXPECT_EQ(read(target + "/registry.json"), before);
    EXPECT_EQ(cli.run({"record"}).exitCode, 2);
}

// Simulated tests: one passes, one fails as the drive's return status says, two can't start.
TEST(TestCommand, FollowsASimulatedTestToItsLogEntry)
{
    const Cli cli;
    QByteArray text;
    for (const QStringList &args : {QStringList{"short", "sde"}, QStringList{"extended", "sdc"}, QStringList{"short", "nvme0n1"},
                                    QStringList{"short", "sdf"}, QStringList{"long", "sda"}})
        text += transcript(cli, QStringList{"test", args[0], "--recorded", kDemo, args[1]});
    expectGolden("cli-test.txt", text); // not a terminal: plain lines, no carriage returns

    // Ctrl-C stops the following only.
    const CliRun stopped = cli.run({"test", "extended", "--recorded", kDemo, "sde"}, [](QProcess &p) {
        QByteArray seen;
        while (!seen.contains("] Test In Progress") && p.waitForReadyRead(20000))
            seen += p.peek(1 << 16);
        ::kill(pid_t(p.processId()), SIGINT);
    });
    EXPECT_EQ(stopped.exitCode, 130) << stopped.err.constData();
    EXPECT_TRUE(stopped.out.contains("the drive keeps testing on its own")) << stopped.out.constData();
    EXPECT_FALSE(stopped.out.contains("Self-test ended"));
}

// A history generated from the demo set, by name and by identity.
TEST(HistoryCommand, PrintsTheSeriesOfADriveByNameOrIdentity)
{
    qputenv("TZ", "UTC"); // the text shows local times
    const Cli cli;
    QTemporaryDir dir;
    const QString file = dir.filePath("history.sqlite");
    const QStringList generate{"history-generate", "--recorded", kDemo, "--days", "2", "--end", "2026-12-01T12:00:00Z", file};
    QByteArray text; // generated once, then never over an existing file
    for (const QStringList &args : {generate, generate, QStringList{"history", "--json", "--file", file, "/dev/sdb"},
                                    QStringList{"history", "--since", "2026-12-01T00:00:00Z", "--file", file,
                                                "WDC WD5000AAKS-00TMA0|WD-WCAPW0493929"},
                                    QStringList{"history", "--file", file, "sdz"},
                                    QStringList{"history", "--since", "yesterday", "sda"}})
        text += transcript(cli, args).replace(file.toUtf8(), "FILE");
    expectGolden("cli-history.txt", text);
    const CliRun fresh = cli.run({"history", "sda"});
    EXPECT_EQ(fresh.exitCode, 1);
    EXPECT_TRUE(fresh.err.contains("no history has been recorded yet")) << fresh.err.constData();
}
