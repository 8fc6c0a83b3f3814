// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-agent: watches the drives, feeds the widget, alerts about failing
// drives, lists them from its tray item and answers the main application.
//   corvane-agent [--recorded DIR]
//   corvane-agent --render-panel OUT.png [--recorded DIR]
//   corvane-agent --render-intro OUT.png
#include "AgentDriveSource.h"
#include "AppDelegate.h"
#include "HelperClient.h"
#include "HistoryWriter.h"
#include "DrivePanel.h"
#include "IntroWindow.h"
#include "Notifier.h"
#include "PngFile.h"
#include "SMARTWatcher.h"
#include "TextfileExporter.h"
#include "VolumeEvents.h"
#include "XPCServer.h"
#include "history/HistoryDatabase.h"
#include "platform/SharedDefaults.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cstdio>

using namespace corvane;

namespace {

int savePng(QWidget &widget, const QString &out)
{
    widget.ensurePolished();
    widget.adjustSize();
    if (const QString why = gui::writePngFile(widget.grab().toImage(), out); !why.isEmpty()) {
        std::fprintf(stderr, "corvane-agent: cannot write %s: %s\n", qPrintable(out), qPrintable(why));
        return 1;
    }
    return 0;
}

int renderPanel(DriveSource &source, const QString &out)
{
    // The user's settings are read, never written; no data file, no signal.
    SMARTWatcher watcher(source, SharedDefaults::shared());
    watcher.setContainer(QString());
    watcher.setBus(QDBusConnection(QStringLiteral("corvane-no-bus")));
    if (!watcher.gatherSMARTDrives(false))
        std::fprintf(stderr, "corvane-agent: the drives could not be read; rendering the empty panel\n");
    DrivePanel panel;
    panel.setDrives(watcher.smartDrives());
    return savePng(panel, out);
}

} // namespace

int main(int argc, char *argv[])
{
    // Without a display (rendering, --version, a session started without
    // one) the agent still works: offscreen, it monitors and notifies.
    const bool headless = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
                          && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-agent"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION " (build %1)").arg(XPCServer::buildNumber()));
    QApplication::setDesktopFileName(QStringLiteral("corvane-agent"));
    // The agent has no main window: closing the intro or the panel must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvane's background agent: watches drive health."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption recorded(QStringLiteral("recorded"),
                                      QStringLiteral("Watch the recorded drive set in <dir> instead of this machine's drives."),
                                      QStringLiteral("dir"));
    const QCommandLineOption renderPanelOption(QStringLiteral("render-panel"),
                                               QStringLiteral("Draw the drive panel into the PNG file <out> and exit."),
                                               QStringLiteral("out"));
    const QCommandLineOption renderIntroOption(QStringLiteral("render-intro"),
                                               QStringLiteral("Draw the first-run window into the PNG file <out> and exit."),
                                               QStringLiteral("out"));
    const QCommandLineOption textfileDir(QStringLiteral("textfile-dir"),
                                         QStringLiteral("After every gather write Prometheus metrics to <dir>/corvane.prom "
                                                        "(node_exporter's textfile collector folder)."),
                                         QStringLiteral("dir"));
    parser.addOptions({recorded, renderPanelOption, renderIntroOption, textfileDir});
    parser.process(app);
    if (parser.isSet(textfileDir) && !QFileInfo(parser.value(textfileDir)).isDir()) {
        std::fprintf(stderr, "corvane-agent: --textfile-dir: %s is not a folder\n", qPrintable(parser.value(textfileDir)));
        return 2;
    }
    // As a normal user (the agent is a per-user service) drives are read through corvane-helper.
    helper::installHelperSeams();

    if (parser.isSet(renderIntroOption)) {
        IntroWindow intro(SharedDefaults::shared());
        return savePng(intro, parser.value(renderIntroOption));
    }

    QString error;
    const std::unique_ptr<DriveSource> source = makeAgentDriveSource(parser.value(recorded), &error);
    if (!source) {
        std::fprintf(stderr, "corvane-agent: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(renderPanelOption))
        return renderPanel(*source, parser.value(renderPanelOption));

    // Owning the bus name makes the agent single-instance.
    XPCServer server;
    switch (server.start()) {
    case XPCServer::Start::AlreadyRunning:
        std::printf("corvane-agent is already running in this session\n");
        return 0;
    case XPCServer::Start::NoBus:
        std::fprintf(stderr, "corvane-agent: no session bus; Corvane can't reach the agent, monitoring goes on\n");
        break;
    case XPCServer::Start::Listening:
        break;
    }

    SharedDefaults &defaults = SharedDefaults::shared();
    MountInfoVolumeEvents volumes;
    SMARTWatcher watcher(*source, defaults);
    QObject::connect(&server, &XPCServer::shouldReloadDevices, &watcher, &SMARTWatcher::shouldGatherDrives);

    AppDelegate delegate(watcher, defaults);
    delegate.launch();

    // One connection to the history: each gather's samples go in, and the
    // alert memory lives beside them so it outlives the agent. A recorded
    // set's drives are not this machine's: they stay out of its history, and
    // like a history that can't be opened it keeps alerts only while the agent runs.
    HistoryWriter history(historyDatabasePath());
    std::optional<HistoryAlertStore> alertStore;
    Notifier notifier(defaults);
    notifier.requestPermission();
    if (QString why; !parser.isSet(recorded)) {
        if (history.database().open(&why))
            notifier.setMemoryStore(&alertStore.emplace(history.database()));
        else
            std::fprintf(stderr, "corvane-agent: %s; alerts are remembered only until the agent ends\n", qPrintable(why));
        QObject::connect(&watcher, &SMARTWatcher::sampled, &history, &HistoryWriter::append);
    }

    watcher.setNotifier(&notifier);
    watcher.setVolumeEvents(&volumes);
    TextfileExporter textfile(defaults, parser.value(textfileDir));
    QObject::connect(&watcher, &SMARTWatcher::drivesRead, &textfile, &TextfileExporter::write);
    watcher.start();

    return app.exec();
}
