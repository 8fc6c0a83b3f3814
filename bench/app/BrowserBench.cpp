// SPDX-License-Identifier: GPL-3.0-or-later
// The drive browser on a recorded set: disk-event latency, painting while
// drive reads are blocked, and the README screenshots.
#include "browser/DriveBrowser.h"
#include "platform/DiskEvents.h"
#include "report/ReportCommand.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

using namespace corvane;
using namespace corvane::app;

namespace {

bool waitForDrives(DriveBrowser &browser, int timeoutMs = 60000)
{
    QEventLoop loop;
    bool done = false;
    auto c = QObject::connect(&browser, &DriveBrowser::drivesChanged, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(c);
    return done;
}

void select(DriveBrowser &browser, const QString &name)
{
    auto *tree = browser.findChild<QTreeView *>(QStringLiteral("driveList"));
    for (int r = 0; r < tree->model()->rowCount(); ++r) {
        const QModelIndex i = tree->model()->index(r, 0);
        if (i.data().toString() == name)
            tree->setCurrentIndex(i);
    }
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts its own paints; a timer asks for one every frame.
class PaintCounter : public QWidget
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    if (argc > 3 && QByteArray(argv[3]) == "dark") {
        QPalette dark(QColor(0x30, 0x30, 0x30), QColor(0x24, 0x24, 0x24));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        dark.setColor(QPalette::AlternateBase, QColor(0x2a, 0x2a, 0x2a));
        QApplication::setPalette(dark);
    }
    QTextStream out(stdout);
    if (argc < 2) {
        out << "usage: browser_bench RECORDED_SET [SHOTS_DIR [all|dark]]\n";
        return 2;
    }
    QString error;
    auto opened = DrivePlatform::open(QString::fromLocal8Bit(argv[1]), &error);
    if (!opened) {
        out << "cannot open the set: " << error << "\n";
        return 1;
    }
    auto platform = std::make_shared<const DrivePlatform>(*opened);

    {
        QMainWindow window;
        auto *browser = new DriveBrowser(platform);
        auto scripted = std::make_unique<ScriptedDiskEvents>();
        ScriptedDiskEvents *events = scripted.get();
        browser->setDiskEvents(std::move(scripted));
        window.setCentralWidget(browser);
        window.resize(1180, 720);
        window.setWindowTitle(QStringLiteral("Corvane"));
        window.show();
        browser->scanForSMARTDrives();
        waitForDrives(*browser);

        // Disk arrival to updated list.
        QList<qint64> times;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer t;
            t.start();
            events->arrive(QStringLiteral("sdh"));
            waitForDrives(*browser);
            times << t.elapsed();
        }
        std::sort(times.begin(), times.end());
        out << "disk arrival to updated list (" << times.size() << " runs, " << browser->driveCount()
            << " drives): median " << times[times.size() / 2] << " ms, max " << times.last() << " ms\n";

        // A burst of four makes one rebuild.
        int rebuilds = 0;
        auto c = QObject::connect(browser, &DriveBrowser::drivesChanged, [&] { ++rebuilds; });
        for (const char *n : {"sdh", "sdi", "sdj", "sdk"})
            events->arrive(QLatin1String(n));
        settle(1500);
        QObject::disconnect(c);
        out << "burst of 4 disk events: " << rebuilds << " rebuild(s)\n";

        if (argc > 2) {
            const QString dir = QString::fromLocal8Bit(argv[2]);
            select(*browser, QStringLiteral("sdb"));
            browser->selectInformationTab(2);
            settle(300);
            window.grab().save(dir + QStringLiteral("/app-attributes.png"));
            select(*browser, QStringLiteral("nvme1n1"));
            browser->selectInformationTab(2);
            settle(300);
            window.grab().save(dir + QStringLiteral("/app-nvme-health.png"));
            if (argc > 3) { // every page, for a look at the whole window
                for (const char *drive : {"sdb", "nvme1n1"})
                    for (int tag = 1; tag <= 5; ++tag) {
                        select(*browser, QLatin1String(drive));
                        browser->selectInformationTab(tag);
                        settle(100);
                        window.grab().save(QStringLiteral("%1/page-%2-%3.png").arg(dir, QLatin1String(drive)).arg(tag));
                    }
            }
            exportReportCommand(*platform, QStringLiteral("sdb"), dir + QStringLiteral("/sample-report.pdf"));
            out << "screenshots and sample-report.pdf saved in " << dir << "\n";
        }
    }

    // Every drive read blocked for a while: the window must keep painting.
    DrivePlatform slow = *opened;
    constexpr int kBlockMs = 400;
    slow.ata = [inner = opened->ata](const QString &bsd, int32_t &status) {
        QThread::msleep(kBlockMs);
        return inner(bsd, status);
    };
    QMainWindow window;
    auto *browser = new DriveBrowser(std::make_shared<const DrivePlatform>(slow));
    browser->setDiskEvents(std::make_unique<ScriptedDiskEvents>());
    auto *counter = new PaintCounter;
    counter->setFixedHeight(8);
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(counter);
    layout->addWidget(browser);
    window.setCentralWidget(box);
    window.resize(900, 600);
    window.show();
    settle(200);
    QTimer frames;
    QObject::connect(&frames, &QTimer::timeout, counter, qOverload<>(&QWidget::update));
    frames.start(16);
    const int before = counter->paints;
    QElapsedTimer t;
    t.start();
    browser->scanForSMARTDrives();
    waitForDrives(*browser);
    out << "rebuild with every ATA read blocked " << kBlockMs << " ms took " << t.elapsed() << " ms; the window painted "
        << counter->paints - before << " times meanwhile\n";
    return 0;
}
