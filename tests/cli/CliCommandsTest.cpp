// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl show, record and test, run as a user runs them on the demo set.
#include "TestData.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString kDemo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");

struct CliRun
{
    int exitCode = -1;
    QByteArray out, err;
};

// Runs corvanectl with its own settings, state and data folders, so that a
// user's ignore choices or database never reach the test.
class Cli
{
public:
    Cli()
    {
        _env = QProcessEnvironment::systemEnvironment();
        for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            _env.insert(QLatin1String(var), _home.filePath(QLatin1String(var)));
    }
    CliRun run(const QStringList &args, const std::function<void(QProcess &)> &during = {}) const
    {
        QProcess p;
        p.setProcessEnvironment(_env);
        p.start(QStringLiteral(CORVANE_BINARY_DIR "/cli/corvanectl"), args);
        if (!p.waitForStarted())
            return {};
        if (during)
            during(p);
        CliRun r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    QJsonObject showJson(const QString &set, const QString &drive) const
    {
        return QJsonDocument::fromJson(run({QStringLiteral("show"), QStringLiteral("--recorded"), set,
                                            QStringLiteral("--json"), drive}).out).object();
    }

private:
    QTemporaryDir _home;
    QProcessEnvironment _env;
};

const QStringList kDemoDrives{QStringLiteral("sda"), QStringLiteral("sdb"), QStringLiteral("sdc"),
                              QStringLiteral("sdd"), QStringLiteral("sde"), QStringLiteral("sdf"),
                              QStringLiteral("nvme0n1"), QStringLiteral("nvme1n1")};

// A copy of the demo set that a test may change.
bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}

} // namespace

TEST(ShowCommand, GroupsEveryKeyAndMarksFailingValues)
{
    const Cli cli;
    const CliRun sdb = cli.run({QStringLiteral("show"), QStringLiteral("--recorded"), kDemo, QStringLiteral("/dev/sdb")});
    ASSERT_EQ(sdb.exitCode, 0) << sdb.err.constData();
    const QString text = QString::fromUtf8(sdb.out);
    EXPECT_TRUE(text.startsWith(QStringLiteral("sdb: WDC WD5000AAKS-00TMA0, Warning\n"))) << qPrintable(text);
    for (const char *section : {"\nIdentity\n", "\nHealth\n", "\nCapabilities\n", "\nAttributes (revision ", "\nSelf-tests\n"})
        EXPECT_TRUE(text.contains(QLatin1String(section))) << section;
    EXPECT_TRUE(text.contains(QStringLiteral("Serial Number:"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("WD-WCAPW0493929")));
    // The reallocated-sector count is what makes this drive fail: its row is marked.
    const QStringList lines = text.split(QLatin1Char('\n'));
    const auto row = std::find_if(lines.begin(), lines.end(), [](const QString &l) { return l.trimmed().startsWith(QStringLiteral("5 ")); });
    ASSERT_NE(row, lines.end());
    EXPECT_TRUE(row->contains(QStringLiteral("! "))) << qPrintable(*row);
    EXPECT_FALSE(text.contains(QStringLiteral("\nOther\n"))) << "keys no group shows:\n" << qPrintable(text);

    // The JSON is the whole properties dictionary.
    const QJsonObject json = cli.showJson(kDemo, QStringLiteral("sdb"));
    EXPECT_EQ(json.value(QStringLiteral("bsdName")).toString(), QStringLiteral("sdb"));
    EXPECT_EQ(json.value(QStringLiteral("attributeHealth")).toString(), QStringLiteral("Warning"));
    EXPECT_EQ(json.value(QStringLiteral("health")).toString(), QStringLiteral("Passed"));
    EXPECT_GT(json.value(QStringLiteral("vendorspecificAttributes")).toArray().size(), 10);
    EXPECT_TRUE(json.contains(QStringLiteral("capArray")));

    const CliRun nvme = cli.run({QStringLiteral("show"), QStringLiteral("--recorded"), kDemo, QStringLiteral("nvme1n1")});
    ASSERT_EQ(nvme.exitCode, 0) << nvme.err.constData();
    const QString nvmeText = QString::fromUtf8(nvme.out);
    for (const char *section : {"\nIdentity\n", "\nHealth\n", "\nPower states\n", "\nFirmware slots\n", "\nError log\n"})
        EXPECT_TRUE(nvmeText.contains(QLatin1String(section))) << section << qPrintable(nvmeText);
    EXPECT_TRUE(nvmeText.contains(QStringLiteral("NVM subsystem reliability degraded")));
    EXPECT_TRUE(nvmeText.startsWith(QStringLiteral("nvme1n1: QEMU NVMe Ctrl, Failed\n"))) << qPrintable(nvmeText);
    EXPECT_FALSE(nvmeText.contains(QStringLiteral("\nOther\n"))) << qPrintable(nvmeText);
}

TEST(ShowCommand, UnreadableAndUnknownDrivesAreExplained)
{
    const Cli cli;
    const CliRun sdf = cli.run({QStringLiteral("show"), QStringLiteral("--recorded"), kDemo, QStringLiteral("sdf")});
    EXPECT_EQ(sdf.exitCode, 1);
    EXPECT_TRUE(sdf.err.contains("corvanectl show: sdf: Install the Corvane helper")) << sdf.err.constData();
    EXPECT_EQ(sdf.err.count('\n'), 1);
    EXPECT_TRUE(sdf.out.startsWith("sdf: INTEL SSDSA2CW120G3, -\n")) << sdf.out.constData();

    const CliRun unknown = cli.run({QStringLiteral("show"), QStringLiteral("--recorded"), kDemo, QStringLiteral("sdz")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.out.isEmpty());
    EXPECT_TRUE(unknown.err.contains("no SMART-capable drive 'sdz'")) << unknown.err.constData();
    EXPECT_TRUE(unknown.err.contains("nvme0n1, nvme1n1, sda, sdb, sdc, sdd, sde, sdf"));
    // Listed in the tree but without SMART (a USB stick): unknown as well.
    EXPECT_EQ(cli.run({QStringLiteral("show"), QStringLiteral("--recorded"), kDemo, QStringLiteral("sdg")}).exitCode, 1);

    // A drive that vanished between listing and reading.
    QTemporaryDir copy;
    ASSERT_TRUE(copyTree(kDemo, copy.path()));
    ASSERT_TRUE(QDir(copy.filePath(QStringLiteral("drives/sdc"))).removeRecursively());
    const CliRun gone = cli.run({QStringLiteral("show"), QStringLiteral("--recorded"), copy.path(), QStringLiteral("sdc")});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(gone.err.contains("sdc: ")) << gone.err.constData();
    EXPECT_TRUE(gone.out.contains("Health: - (no SMART data was read)")) << gone.out.constData();

    EXPECT_EQ(cli.run({QStringLiteral("show")}).exitCode, 2);
    EXPECT_EQ(cli.run({QStringLiteral("show"), QStringLiteral("sda"), QStringLiteral("sdb")}).exitCode, 2);
    const CliRun badSet = cli.run({QStringLiteral("show"), QStringLiteral("--recorded"), copy.filePath(QStringLiteral("none")), QStringLiteral("sda")});
    EXPECT_EQ(badSet.exitCode, 1);
    EXPECT_TRUE(badSet.err.contains("cannot open recorded set")) << badSet.err.constData();
}

TEST(RecordCommand, RecordedSetShowsTheSameAsItsSource)
{
    const Cli cli;
    QTemporaryDir tmp;
    const QString target = tmp.filePath(QStringLiteral("copy"));
    const CliRun rec = cli.run({QStringLiteral("record"), QStringLiteral("--recorded"), kDemo, target});
    ASSERT_EQ(rec.exitCode, 0) << rec.err.constData();
    EXPECT_TRUE(rec.out.contains("sdf: not readable, recorded as such: Install the Corvane helper")) << rec.out.constData();
    EXPECT_TRUE(rec.out.contains("Recorded 8 drives into")) << rec.out.constData();
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/registry.json")));

    for (const QString &drive : kDemoDrives) {
        const QJsonObject source = cli.showJson(kDemo, drive);
        const QJsonObject copy = cli.showJson(target, drive);
        EXPECT_FALSE(source.isEmpty()) << qPrintable(drive);
        EXPECT_EQ(copy, source) << qPrintable(drive);
    }
    // The pages are the drive's bytes, unchanged.
    for (const char *page : {"identify.bin", "smart.bin", "thresholds.bin", "smartlog-06-selftest.bin"}) {
        QFile a(kDemo + QStringLiteral("/drives/sde/") + QLatin1String(page));
        QFile b(target + QStringLiteral("/drives/sde/") + QLatin1String(page));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << page;
        EXPECT_EQ(a.readAll(), b.readAll()) << page;
    }

    // An earlier recording is never written over.
    QFile registry(target + QStringLiteral("/registry.json"));
    ASSERT_TRUE(registry.open(QIODevice::ReadOnly));
    const QByteArray before = registry.readAll();
    registry.close();
    const CliRun again = cli.run({QStringLiteral("record"), QStringLiteral("--recorded"), kDemo, target});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("not an empty folder")) << again.err.constData();
    ASSERT_TRUE(registry.open(QIODevice::ReadOnly));
    EXPECT_EQ(registry.readAll(), before);
    EXPECT_EQ(cli.run({QStringLiteral("record")}).exitCode, 2);
}

TEST(TestCommand, FollowsASimulatedTestToItsLogEntry)
{
    const Cli cli;
    const CliRun pass = cli.run({QStringLiteral("test"), QStringLiteral("short"), QStringLiteral("--recorded"), kDemo,
                                 QStringLiteral("sde")});
    ASSERT_EQ(pass.exitCode, 0) << pass.err.constData() << pass.out.constData();
    const QString text = QString::fromUtf8(pass.out);
    EXPECT_TRUE(text.contains(QStringLiteral("Short self-test started on sde"))) << qPrintable(text);
    // Not a terminal: plain lines, no carriage returns.
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));
    EXPECT_TRUE(text.contains(QStringLiteral("] Test In Progress "))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("Self-test ended: Pass 100%")));
    EXPECT_TRUE(text.contains(QStringLiteral("Newest self-test log entry:\n   1 Short offline")));
    EXPECT_TRUE(text.contains(QStringLiteral("Completed without error 100%")));

    // The drive whose return status says "failing" fails its test too.
    const CliRun fail = cli.run({QStringLiteral("test"), QStringLiteral("extended"), QStringLiteral("--recorded"), kDemo,
                                 QStringLiteral("sdc")});
    EXPECT_EQ(fail.exitCode, 1) << fail.err.constData();
    EXPECT_TRUE(fail.out.contains("Self-test ended: Read Failure 70%")) << fail.out.constData();
    EXPECT_TRUE(fail.out.contains("Extended offline")) << fail.out.constData();

    EXPECT_EQ(cli.run({QStringLiteral("test"), QStringLiteral("short"), QStringLiteral("--recorded"), kDemo,
                       QStringLiteral("nvme0n1")}).exitCode, 1);
    const CliRun denied = cli.run({QStringLiteral("test"), QStringLiteral("short"), QStringLiteral("--recorded"), kDemo,
                                   QStringLiteral("sdf")});
    EXPECT_EQ(denied.exitCode, 1);
    EXPECT_TRUE(denied.err.contains("Install the Corvane helper")) << denied.err.constData();
    EXPECT_EQ(cli.run({QStringLiteral("test"), QStringLiteral("long"), QStringLiteral("sda")}).exitCode, 2);
}

TEST(TestCommand, CtrlCStopsFollowingOnly)
{
    const Cli cli;
    const CliRun r = cli.run({QStringLiteral("test"), QStringLiteral("extended"), QStringLiteral("--recorded"), kDemo,
                              QStringLiteral("sde")},
                             [](QProcess &p) {
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
