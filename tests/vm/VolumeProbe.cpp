// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the agent engine's volume events, one line each ("mount PATH",
// "unmount PATH"), for the VM test that mounts a file system in the guest.
// Says "watching" on stderr once the mount table is being watched; ends
// after the first unmount (status 0) or after 60 s (status 1).
#include "VolumeEvents.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    corvane::MountInfoVolumeEvents events;
    if (!events.isWatching())
        return 2;
    auto print = [](const char *what, const QVariantMap &info) {
        const QByteArray path = info.value(QLatin1String(corvane::kDevicePathKey)).toString().toUtf8();
        std::printf("%s %s\n", what, path.constData());
        std::fflush(stdout);
    };
    QObject::connect(&events, &corvane::VolumeEvents::didMount, [&](const QVariantMap &info) { print("mount", info); });
    QObject::connect(&events, &corvane::VolumeEvents::didUnmount, [&](const QVariantMap &info) {
        print("unmount", info);
        QCoreApplication::exit(0);
    });
    QTimer::singleShot(60000, [] { QCoreApplication::exit(1); });
    std::fputs("watching\n", stderr);
    std::fflush(stderr);
    return QCoreApplication::exec();
}
