// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-agent: watches the drives, feeds the widget, alerts about failing drives.
#include "AgentDriveSource.h"
#include "HelperClient.h"
#include "Notifier.h"
#include "SMARTWatcher.h"
#include "TextfileExporter.h"
#include "VolumeEvents.h"
#include "platform/SharedDefaults.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

using namespace corvane;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-agent"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    helper::installHelperSeams();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvane's background agent: watches drive health."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption recorded(QStringLiteral("recorded"),
                                      QStringLiteral("Watch the recorded drive set in <dir> instead of this machine's drives."),
                                      QStringLiteral("dir"));
    parser.addOption(recorded);
    const QCommandLineOption textfileDir(QStringLiteral("textfile-dir"),
                                         QStringLiteral("After every gather write Prometheus metrics to <dir>/corvane.prom "
                                                        "(node_exporter's textfile collector folder)."),
                                         QStringLiteral("dir"));
    parser.addOption(textfileDir);
    parser.process(app);
    if (parser.isSet(textfileDir) && !QFileInfo(parser.value(textfileDir)).isDir()) {
        std::fprintf(stderr, "corvane-agent: --textfile-dir: %s is not a folder\n", qPrintable(parser.value(textfileDir)));
        return 2;
    }

    QString error;
    const std::unique_ptr<DriveSource> source = makeAgentDriveSource(parser.value(recorded), &error);
    if (!source) {
        std::fprintf(stderr, "corvane-agent: %s\n", qPrintable(error));
        return 2;
    }

    SharedDefaults &defaults = SharedDefaults::shared();
    defaults.registerDefaults({{QLatin1String(kShowMenuBarExtraKey), true}});

    Notifier notifier(defaults);
    notifier.requestPermission();

    MountInfoVolumeEvents volumes;
    SMARTWatcher watcher(*source, defaults);
    watcher.setNotifier(&notifier);
    watcher.setVolumeEvents(&volumes);
    TextfileExporter textfile(defaults, parser.value(textfileDir));
    QObject::connect(&watcher, &SMARTWatcher::drivesRead, &textfile, &TextfileExporter::write);
    watcher.start();

    return app.exec();
}
