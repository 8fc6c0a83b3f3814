// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What show, test and record share: the drives of this machine or of a
// recorded set, found by kernel name or /dev path, read as the agent reads them.
#include "drive/DriveEnumerator.h"
#include "drive/DriveReader.h"

#include <QString>
#include <memory>
#include <optional>

namespace corvane::cli {

class DriveSet
{
public:
    // The drives of a recorded set (or of this machine for an empty folder).
    // nullopt after telling the user why on stderr, prefixed with `command`.
    static std::optional<DriveSet> open(const QString &recordedFolder, const QString &command);

    const DrivePlatform &platform() const { return *_platform; }
    DriveEnumerator &enumerator() { return *_enumerator; }
    QStringList names() const { return _enumerator->sortedBSDNames(); }

    // The drive named by a kernel name or a device path; null after saying
    // which drives there are.
    std::unique_ptr<THSMARTDevice> device(const QString &nameOrPath, const QString &command);

    // Reads a drive (with the user's ignore dictionary for ATA drives) and
    // returns the status of readDrive().
    int32_t read(THSMARTDevice &device) const;

private:
    std::shared_ptr<DrivePlatform> _platform;
    std::shared_ptr<DriveEnumerator> _enumerator;
};

// The user's "ignoreAttributes" dictionary from the shared defaults, or the defaults.
QVariantMap userIgnoreAttributes();

} // namespace corvane::cli
