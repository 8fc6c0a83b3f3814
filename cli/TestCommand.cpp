// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl test short|extended [--recorded DIR] DEVICE: starts a drive
// self-test and follows it with a progress line until the drive reports an
// end; Ctrl-C stops following (the drive keeps testing).
#include "Command.h"
#include "DriveAccess.h"
#include "ShowFormat.h"

#include "platform/DeviceStatus.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace corvane::cli {

namespace {

int gSignalPipe[2] = {-1, -1};

// Only write(2) here: everything else waits for the event loop.
void onSigint(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

class SigintWatch
{
public:
    SigintWatch()
    {
        if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction sa = {};
        sa.sa_handler = onSigint;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, &_previous);
        _installed = true;
        _notifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    }
    ~SigintWatch()
    {
        _notifier.reset();
        if (_installed)
            ::sigaction(SIGINT, &_previous, nullptr);
        for (int &fd : gSignalPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    QSocketNotifier *notifier() const { return _notifier.get(); }
    static void drain()
    {
        char buf[16];
        while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
        }
    }

private:
    struct sigaction _previous = {};
    bool _installed = false;
    std::unique_ptr<QSocketNotifier> _notifier;
};

QString progressLine(const QVariantMap &p, int percent, bool running)
{
    constexpr int width = 30;
    const int filled = std::clamp(percent, 0, 100) * width / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-'));
    const double elapsed = p.value(QStringLiteral("test_elapsed")).toDouble();
    const double remaining = p.value(QStringLiteral("test_remaining")).toDouble();
    QString times = QStringLiteral("%1 s").arg(qint64(elapsed));
    if (running && std::isfinite(remaining) && remaining > 0)
        times += QStringLiteral(", about %1 min left").arg(qint64(std::ceil(remaining / 60.0)));
    return QStringLiteral("[%1] %2  (%3)").arg(bar, p.value(QStringLiteral("test_status")).toString(), times);
}

int runTest(const QStringList &args)
{
    CommandLine cl("test");
    const QCommandLineOption recordedOption = cl.recordedOption();
    cl.parser().addPositionalArgument(QStringLiteral("TYPE"), QStringLiteral("short or extended."), QStringLiteral("short|extended"));
    cl.parser().addPositionalArgument(QStringLiteral("DEVICE"), QStringLiteral("The drive: a kernel name (sda) or a /dev path."));
    if (const std::optional<int> exit = cl.parse(args, 2, 2))
        return *exit;
    const QString recorded = cl.parser().value(recordedOption);
    const QString type = cl.arguments().at(0), name = cl.arguments().at(1);
    if (type != QLatin1String("short") && type != QLatin1String("extended")) {
        err(QStringLiteral("corvanectl test: the test is 'short' or 'extended', not '%1'\n").arg(type) + cl.usage());
        return 2;
    }
    std::optional<DriveSet> set = DriveSet::open(recorded, QStringLiteral("test"));
    if (!set)
        return 1;
    const std::unique_ptr<THSMARTDevice> device = set->device(name, QStringLiteral("test"));
    if (!device)
        return 1;
    const QVariantMap &p = device->driveProperties();
    const QString bsd = p.value(QStringLiteral("bsdName")).toString();
    const bool nvme = p.value(QStringLiteral("isNVMe")).toBool();
    // The polling times come from this read: the data page (ATA) or Identify (NVMe).
    if (const int32_t status = set->read(*device)) {
        err(QStringLiteral("corvanectl test: %1: %2\n").arg(bsd, statusUserMessage(status)));
        return 1;
    }
    const bool offered = nvme ? !p.value(QStringLiteral("selftests")).toList().isEmpty()
                              : p.value(QStringLiteral("Self-Test")).toBool();
    if (!offered) {
        err(QStringLiteral("corvanectl test: %1 does not offer self-tests%2.\n")
                .arg(bsd, nvme ? QStringLiteral(" (its controller has no Device Self-test command)") : QString()));
        return 1;
    }

    const SigintWatch sigint;
    const QString testName = type == QLatin1String("extended") ? QStringLiteral("Extended") : QStringLiteral("Short");
    if (const int32_t status = device->startTest(testName)) {
        err(QStringLiteral("corvanectl test: %1: the drive did not start the test: %2\n").arg(bsd, statusUserMessage(status)));
        return 1;
    }
    out(QStringLiteral("%1 self-test started on %2 (%3).\n")
            .arg(testName, bsd, p.value(QLatin1String(nvme ? "mn" : "Device Model")).toString().trimmed()));

    const bool tty = ::isatty(STDOUT_FILENO);
    QString shown;
    bool interrupted = false;
    QEventLoop loop;
    const auto redraw = [&] {
        if (!p.contains(QStringLiteral("test_status")))
            return;
        const THSMARTDevice::SelfTestState &state = device->selfTestState();
        const QString line = progressLine(p, state.percent, state.running);
        if (line == shown)
            return;
        shown = line;
        if (tty)
            out(QStringLiteral("\r\033[K") + line);
        else
            out(line + QLatin1Char('\n'));
        std::fflush(stdout);
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, redraw);
    poll.start(200);
    QObject::connect(device.get(), &THSMARTDevice::endOfTest, &loop, [&] {
        redraw();
        loop.quit();
    });
    if (sigint.notifier()) {
        QObject::connect(sigint.notifier(), &QSocketNotifier::activated, &loop, [&] {
            SigintWatch::drain();
            interrupted = true;
            device->abortSelftest();
        });
    }
    if (device->isFollowingTest())
        loop.exec();
    poll.stop();
    if (tty && !shown.isEmpty())
        out(QStringLiteral("\n"));

    const QVariantList results = p.value(QLatin1String(nvme ? "nvmeSelfTestResults" : "selftestResults")).toList();
    if (interrupted) {
        out(QStringLiteral("Stopped following the test; the drive keeps testing on its own. "
                           "`corvanectl show %1` shows its result once it ends.\n").arg(bsd));
        return 130;
    }
    out(QStringLiteral("Self-test ended: %1\n").arg(p.value(QStringLiteral("test_status")).toString()));
    if (!results.isEmpty())
        out(QStringLiteral("Newest self-test log entry:\n  ")
            + (nvme ? formatNvmeSelfTestEntry(results.first().toMap()) : formatSelfTestEntry(results.first().toMap()))
            + QLatin1Char('\n'));
    return device->selfTestState().passed ? 0 : 1;
}

const CommandRegistrar registrar("test", {"test short|extended [--recorded DIR] DEVICE",
                                          "run a drive self-test and follow it (Ctrl-C stops following)", runTest});

} // namespace

} // namespace corvane::cli
