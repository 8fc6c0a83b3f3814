// SPDX-License-Identifier: GPL-3.0-or-later
// corvane: the main window.
#include "DriveIcons.h"
#include "HelperClient.h"
#include "PngFile.h"
#include "MainWindow.h"
#include "THAppDelegate.h"
#include "browser/DriveBrowser.h"
#include "drive/DriveReader.h"
#include "platform/SharedDefaults.h"
#include "report/ReportCommand.h"
#include "services/AgentService.h"
#include "services/CommandRunner.h"
#include "services/SingleInstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>
#include <cstring>

using namespace corvane;

namespace {

// Resident set size in KiB, from /proc.
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    // A report needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--export-pdf") == 0 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.tarnholm.Corvane"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("com.tarnholm.Corvane"), gui::fallbackDriveIcon(gui::DriveKind::Internal)));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvane: the health of your drives."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption recorded(QStringLiteral("recorded"), QStringLiteral("Show the recorded drive set in <dir>."),
                                      QStringLiteral("dir"));
    const QCommandLineOption exportPdf(QStringLiteral("export-pdf"),
                                       QStringLiteral("Write the report of <drive> to the file given after it, without a window."),
                                       QStringLiteral("drive"));
    QCommandLineOption screenshot(QStringLiteral("screenshot"), QStringLiteral("Save the window to <png> once it shows the drives, then quit."),
                                  QStringLiteral("png"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption shotDrive(QStringLiteral("drive"), QStringLiteral("With --screenshot: select <drive> first."),
                                 QStringLiteral("drive"));
    QCommandLineOption shotTab(QStringLiteral("tab"), QStringLiteral("With --screenshot: show the page titled <tab>."),
                               QStringLiteral("tab"));
    shotDrive.setFlags(QCommandLineOption::HiddenFromHelp);
    shotTab.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({recorded, exportPdf, screenshot, shotDrive, shotTab});
    parser.addPositionalArgument(QStringLiteral("url"), QStringLiteral("widget-deeplink:// address (from the widget)."), QStringLiteral("[url]"));
    parser.process(app);

    // As a normal user the drives are read through corvane-helper.
    helper::installHelperSeams();
    QString error;
    std::optional<DrivePlatform> platform = DrivePlatform::open(parser.value(recorded), &error);
    if (!platform) {
        std::fprintf(stderr, "corvane: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(exportPdf)) {
        if (parser.positionalArguments().size() != 1) {
            std::fputs("usage: corvane [--recorded DIR] --export-pdf DRIVE OUT.pdf\n", stderr);
            return 2;
        }
        return app::exportReportCommand(*platform, parser.value(exportPdf), parser.positionalArguments().first());
    }

    // A recorded set is a viewer of its own: it neither joins the running
    // window nor touches the agent or the network.
    const bool live = !parser.isSet(recorded);
    app::SingleInstance instance(QDBusConnection::sessionBus());
    if (live && !instance.claim()) {
        if (instance.forward(parser.positionalArguments()))
            return 0;
        std::fputs("corvane: another instance holds the session but does not answer; starting anyway\n", stderr);
    }

    app::ProcessRunner runner;
    app::SystemdAgentService agentService(runner);
    app::THAppDelegate::Options options;
    options.platform = std::make_shared<const DrivePlatform>(std::move(*platform));
    options.agentService = live ? &agentService : nullptr;
    options.updateDatabase = live;
    options.sessionBus = QDBusConnection::sessionBus();
    options.systemBus = QDBusConnection::systemBus();
    app::THAppDelegate controller(std::move(options), SharedDefaults::shared());
    QObject::connect(&instance, &app::SingleInstance::activated, &controller, &app::THAppDelegate::activate);

    app::MainWindow *window = controller.window();
    if (parser.isSet(screenshot)) {
        const QString out = parser.value(screenshot);
        app::DriveBrowser *browser = controller.browser();
        auto shoot = [window, browser, out, drive = parser.value(shotDrive), tab = parser.value(shotTab), &sinceStart] {
            std::fprintf(stderr, "corvane: drives listed after %lld ms, RSS %ld KiB\n", qint64(sinceStart.elapsed()), residentKiB());
            if (!drive.isEmpty() && !browser->selectDrive(drive))
                std::fprintf(stderr, "corvane: no drive %s; the first one is shown\n", qPrintable(drive));
            if (!tab.isEmpty() && !browser->selectPage(tab))
                std::fprintf(stderr, "corvane: no page titled %s\n", qPrintable(tab));
            // A moment for the pages to fill before the picture is taken; what a page
            // reads on a worker (the history series, vendor names) is waited for.
            QTimer::singleShot(300, window, [window, out] {
                QThreadPool::globalInstance()->waitForDone();
                QCoreApplication::processEvents();
                QApplication::exit(gui::writePngFile(window->grab().toImage(), out).isEmpty() ? 0 : 1);
            });
        };
        QObject::connect(window, &app::MainWindow::firstPaint, window, [&sinceStart] {
            std::fprintf(stderr, "corvane: window painted after %lld ms, RSS %ld KiB\n", qint64(sinceStart.elapsed()), residentKiB());
        });
        QObject::connect(controller.browser(), &app::DriveBrowser::drivesChanged, window,
                         shoot, Qt::SingleShotConnection);
    }
    window->show();
    controller.applicationDidFinishLaunching();
    return app.exec();
}
