// SPDX-License-Identifier: GPL-3.0-or-later
// A captured udev folder as a bug report brings it: devices.json, then a NUL,
// then the mount table. Loaded, built into the registry tree and enumerated as
// a gather does.
#include "FuzzSupport.h"
#include "drive/DriveEnumerator.h"
#include "platform/linux/DeviceSource.h"
#include "platform/linux/UdevRegistry.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    const QByteArray input = text(in);
    const qsizetype nul = input.indexOf('\0');
    writeScratch(QStringLiteral("devices.json"), nul < 0 ? input : input.left(nul));
    writeScratch(QStringLiteral("mountinfo"), nul < 0 ? QByteArray() : input.mid(nul + 1));

    QString error;
    const auto source = CapturedDeviceSource::open(scratch().path(), &error);
    if (!source)
        return;
    const auto registry = buildUdevRegistry(*source);
    DriveEnumerator enumerator(*registry);
    for (const QString &name : enumerator.sortedBSDNames())
        enumerator.settingsForBSDName(name);
    for (const RegistryEntry &e : registry->matchingServices({})) {
        registry->searchProperty(e, QStringLiteral("SMART Capable"));
        registry->diskDescription(e);
    }
}
