// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-helper: started by the system bus on the first call, reads drives
// for callers polkit allows, and exits when no call came for a while.
#include "DeviceBackend.h"
#include "HelperService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>

#include <cstdio>

using namespace corvane::helper;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-helper"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reads SMART data for unprivileged Corvane programs."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption idle(QStringLiteral("idle-timeout"), QStringLiteral("Exit after SECONDS without a call."),
                                  QStringLiteral("SECONDS"), QStringLiteral("30"));
    // For tests only: refused while the helper holds either capability, so
    // they can never point a privileged helper at other nodes.
    const QCommandLineOption sysRoot(QStringLiteral("sysfs-root"), QStringLiteral("Test: sysfs folder."), QStringLiteral("DIR"));
    const QCommandLineOption devRoot(QStringLiteral("dev-root"), QStringLiteral("Test: device folder."), QStringLiteral("DIR"));
    const QCommandLineOption recorded(QStringLiteral("recorded"), QStringLiteral("Test: serve a recorded drive set."), QStringLiteral("DIR"));
    parser.addOptions({idle, sysRoot, devRoot, recorded});
    parser.process(app);

    const bool testRoots = parser.isSet(sysRoot) || parser.isSet(devRoot) || parser.isSet(recorded);
    const DriveCapabilities caps = effectiveDriveCapabilities();
    if (testRoots && (caps.rawio || caps.admin)) {
        std::fputs("corvane-helper: --sysfs-root, --dev-root and --recorded are refused with CAP_SYS_RAWIO or CAP_SYS_ADMIN\n", stderr);
        return 2;
    }
    bool ok = false;
    const int idleSeconds = parser.value(idle).toInt(&ok);
    if (!ok || idleSeconds < 1 || idleSeconds > 3600) {
        std::fputs("corvane-helper: --idle-timeout takes 1 to 3600 seconds\n", stderr);
        return 2;
    }

    std::unique_ptr<DeviceBackend> backend =
        parser.isSet(recorded) ? recordedDeviceBackend(parser.value(recorded))
                               : linuxDeviceBackend(parser.value(sysRoot).isEmpty() ? QStringLiteral("/sys") : parser.value(sysRoot),
                                                    parser.value(devRoot).isEmpty() ? QStringLiteral("/dev") : parser.value(devRoot));

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "corvane-helper: no system bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    HelperService service(bus, std::move(backend), idleSeconds * 1000);
    QObject::connect(&service, &HelperService::releaseName, &app,
                     [&] { bus.unregisterService(QLatin1String(kService)); });
    QObject::connect(&service, &HelperService::idle, &app, &QCoreApplication::quit);
    if (!bus.registerVirtualObject(QLatin1String(kPath), &service)) {
        std::fprintf(stderr, "corvane-helper: cannot register %s\n", kPath);
        return 1;
    }
    if (!bus.registerService(QLatin1String(kService))) {
        std::fprintf(stderr, "corvane-helper: cannot own %s: %s\n", kService, qPrintable(bus.lastError().message()));
        return 1;
    }
    return app.exec();
}
