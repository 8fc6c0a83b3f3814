// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drive/PowerMode.h"

#include <QList>
#include <QString>
#include <QVariantMap>
#include <optional>

namespace corvane {

// Drive properties key carrying why a listed drive could not be read (for
// example missing privileges); the watcher logs it once per drive.
inline constexpr char kReadErrorKey[] = "readError";
// Drive properties key: true when any of the drive's volumes is mounted now.
inline constexpr char kVolumesMountedKey[] = "volumesMounted";

// Where the watcher's gathers get their drives from: a fresh enumeration
// plus one SMART or NVMe read per drive. Called on the watcher's worker
// thread, one call at a time.
class DriveSource
{
public:
    virtual ~DriveSource() = default;
    // One drive properties dictionary per drive, in any order ("bsdName", "Device Model",
    // "location", "volumes" [{"name", "content"}], "diskIcon", "isNVMe",
    // "attributeHealth" when a verdict was made, kReadErrorKey when the drive
    // could not be read, kVolumesMountedKey). ATA drives are read with ignoreAttributes;
    // NVMe drives whose reader returns nothing are left out.
    // std::nullopt when the drives could not be enumerated at all.
    virtual std::optional<QList<QVariantMap>> readAllDrives(const QVariantMap &ignoreAttributes) = 0;
    // The same, except that a rotating drive in standby or sleep that
    // `mayWake` may not wake is not read: its dictionary holds the settings
    // and kAsleepKey = true. Sources that can't ask a drive read them all.
    virtual std::optional<QList<QVariantMap>> readAwakeDrives(const QVariantMap &ignoreAttributes,
                                                              const WakePolicy &mayWake)
    {
        Q_UNUSED(mayWake);
        return readAllDrives(ignoreAttributes);
    }
};

// Serves fixed dictionaries; for tests, benchmarks and programs that have no
// drive access wired in yet.
class CannedDriveSource : public DriveSource
{
public:
    explicit CannedDriveSource(QList<QVariantMap> drives = {}) : _drives(std::move(drives)) {}
    void setDrives(QList<QVariantMap> drives) { _drives = std::move(drives); }
    // Simulates an enumeration that fails.
    void setUnavailable(bool unavailable) { _unavailable = unavailable; }

    std::optional<QList<QVariantMap>> readAllDrives(const QVariantMap &ignoreAttributes) override;

    int reads() const { return _reads; }
    QVariantMap lastIgnoreAttributes() const { return _lastIgnore; }

private:
    QList<QVariantMap> _drives;
    QVariantMap _lastIgnore;
    int _reads = 0;
    bool _unavailable = false;
};

// Drive order: kernel names compared run by run, digit runs by value, the
// letters of sd/hd/vd/xvd names as the kernel counts them (sda < sdz < sdaa),
// other letter runs as text (nvme2n1 < nvme10n1 < sda, disk2 < disk10).
bool driveNameLess(const QString &a, const QString &b);

} // namespace corvane
