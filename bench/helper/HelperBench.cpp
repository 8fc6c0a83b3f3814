// SPDX-License-Identifier: GPL-3.0-or-later
// What the helper adds to one drive read: readDrive() on the demo set in
// process, and through corvane-helper serving the same set, on a private bus
// with an authority that allows everything. Also reports the helper's RSS.
#include "HelperClient.h"
#include "HelperTestSupport.h"
#include "drive/DriveEnumerator.h"
#include "drive/DriveReader.h"
#include "platform/DeviceStatus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

using namespace corvane;

namespace {

struct Setup
{
    QTemporaryDir dir;
    QProcess daemon, polkit, helper;
    QDBusConnection bus{QString()};
    std::optional<DrivePlatform> direct;
    DrivePlatform viaHelper;

    Setup()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address")});
        daemon.waitForReadyRead(10000);
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
        QFile rules(dir.path() + QStringLiteral("/rules"));
        rules.open(QIODevice::WriteOnly);
        rules.write("* allow\n");
        rules.close();
        polkit.start(QStringLiteral(CORVANE_FAKE_POLKIT), {rules.fileName(), dir.path() + QStringLiteral("/calls")});
        polkit.waitForReadyRead(10000);
        const QStringList command = helper::test::helperCommand(
            QStringLiteral(CORVANE_HELPER), {QStringLiteral("--recorded"), QStringLiteral(CORVANE_DEMO_SET),
                                             QStringLiteral("--idle-timeout"), QStringLiteral("3600")});
        // Nothing reads the helper's log while the benchmark runs.
        helper.setStandardErrorFile(QProcess::nullDevice());
        helper.start(command.first(), command.mid(1));
        bus = QDBusConnection::connectToBus(address, QStringLiteral("bench"));
        for (int i = 0; i < 500 && !bus.interface()->isServiceRegistered(QStringLiteral("com.tarnholm.Corvane.Helper")); ++i)
            QThread::msleep(10);
        QString error;
        direct = DrivePlatform::recorded(QStringLiteral(CORVANE_DEMO_SET), &error);
        viaHelper = *direct;
        viaHelper.ata = helper::helperAtaSmartOpener(bus);
        viaHelper.nvme = helper::helperNvmeOpener(bus);
    }
    ~Setup()
    {
        helper.terminate();
        helper.waitForFinished();
        polkit.terminate();
        polkit.waitForFinished();
        daemon.terminate();
        daemon.waitForFinished();
    }
    double helperRssKiB() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(helper.processId()));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toDouble();
        return 0;
    }
};

Setup &setup()
{
    static int argc = 1;
    static char name[] = "corvane_helper_bench";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Setup s;
    return s;
}

void read(benchmark::State &state, bool throughHelper, const char *drive)
{
    Setup &s = setup();
    const DrivePlatform &platform = throughHelper ? s.viaHelper : *s.direct;
    DriveEnumerator enumerator(*platform.registry);
    enumerator.driveInformation();
    for (auto _ : state) {
        auto device = enumerator.deviceWithBSDName(QString::fromLatin1(drive));
        if (const int32_t status = readDrive(*device, platform)) {
            state.SkipWithError(qPrintable(statusText(status)));
            break;
        }
    }
    if (throughHelper)
        state.counters["helper_rss_KiB"] = s.helperRssKiB();
}

// One bus round trip (the daemon's GetId): what each of a read's calls costs
// at least on this machine, under its present load.
void busRoundTrip(benchmark::State &state)
{
    Setup &s = setup();
    const QDBusMessage getId = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                              QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    for (auto _ : state)
        s.bus.call(getId);
}

} // namespace

BENCHMARK(busRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, direct_sda, false, "sda")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, helper_sda, true, "sda")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, direct_nvme0n1, false, "nvme0n1")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, helper_nvme0n1, true, "nvme0n1")->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
