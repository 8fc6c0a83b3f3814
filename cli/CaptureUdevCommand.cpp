// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl capture-udev: writes this machine's block devices as udev sees
// them, for bug reports and test fixtures.
#include "Command.h"

#include "platform/linux/UdevRegistry.h"
#include "platform/recorded/RecordedRegistry.h"

#include <QDir>
#include <QSaveFile>

namespace corvane::cli {

namespace {

int runCapture(const QStringList &args)
{
    CommandLine cl("capture-udev");
    cl.parser().addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("The folder to write devices.json, mountinfo and registry.json to."));
    if (const std::optional<int> exit = cl.parse(args, 1, 1))
        return *exit;
    const QString folder = cl.arguments().first();
    const LibudevDeviceSource source;
    QString error;
    if (!captureDeviceSource(source, folder, &error)) {
        err(QStringLiteral("corvanectl capture-udev: %1\n").arg(error));
        return 1;
    }
    // The registry built from it too, so the capture doubles as a recorded tree.
    const auto registry = buildUdevRegistry(source);
    QSaveFile file(QDir(folder).filePath(QStringLiteral("registry.json")));
    const QByteArray json = recordedRegistryJson(*registry);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        err(QStringLiteral("corvanectl capture-udev: %1: %2\n").arg(file.fileName(), file.errorString()));
        return 1;
    }
    out(QStringLiteral("Wrote devices.json, mountinfo and registry.json to %1\n").arg(folder));
    return 0;
}

const CommandRegistrar registrar("capture-udev", {"capture-udev DIR",
                                                  "save the block devices as udev sees them (diagnostics)", runCapture});

} // namespace

} // namespace corvane::cli
