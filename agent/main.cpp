// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-agent: watches the drives, feeds the widget, alerts about failing drives.
#include "AgentDriveSource.h"
#include "HelperClient.h"
#include "Notifier.h"
#include "SMARTWatcher.h"
#include "VolumeEvents.h"
#include "platform/SharedDefaults.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    parser.process(app);

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
    watcher.start();

    return app.exec();
}
