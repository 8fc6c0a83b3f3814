// SPDX-License-Identifier: GPL-3.0-or-later
// The recorded-set loader: registry.json parsed into a tree, the tree
// enumerated as a gather does, and written back.
#include "FuzzSupport.h"
#include "drive/DriveEnumerator.h"
#include "platform/recorded/RecordedRegistry.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    QString error;
    const auto registry = parseRecordedRegistry(text(in), &error);
    if (!registry)
        return;
    DriveEnumerator enumerator(*registry);
    const DriveInformation &drives = enumerator.driveInformation();
    for (const QString &name : enumerator.sortedBSDNames()) {
        enumerator.settingsForBSDName(name);
        recordedDriveFolder(QStringLiteral("/nonexistent-set"), drives.value(name).value(QStringLiteral("bsdName")).toString());
    }
    for (const RegistryEntry &e : registry->matchingServices({})) {
        registry->searchProperty(e, QStringLiteral("SMART Capable"));
        registry->diskDescription(e);
    }
    recordedRegistryJson(*registry);
}
