// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a front end needs to find and read drives: the registry and the two
// SMART seams, either of this machine or of a recorded set.
#include "drive/PowerMode.h"
#include "platform/AtaSmartInterface.h"
#include "platform/NvmeInterface.h"
#include "platform/Registry.h"

#include <QString>
#include <memory>
#include <optional>

namespace corvane {

class THSMARTDevice;

struct DrivePlatform
{
    std::shared_ptr<const Registry> registry;
    AtaSmartOpener ata;
    NvmeOpener nvme;
    QString recordedSet; // empty on the real machine

    // This machine's drives (udev, SG_IO, the NVMe admin ioctl).
    static DrivePlatform system();
    // A recorded set folder; nullopt with *error set when it can't be opened.
    static std::optional<DrivePlatform> recorded(const QString &folder, QString *error);
    // system() for an empty folder, else recorded(folder).
    static std::optional<DrivePlatform> open(const QString &recordedFolder, QString *error);
};

// Lets a front end replace the SMART seams of DrivePlatform::system(), e.g.
// with ones that forward to corvane-helper when the process can't reach the
// drives itself; set once in main(), before the first system().
using SystemSeamsHook = std::function<void(DrivePlatform &)>;
void setSystemSeamsHook(SystemSeamsHook hook);

// Reads one drive completely: an NVMe drive through its health log, an ATA
// drive through a SMART session. Returns the status of the first step that
// failed so that a front end can say why a drive shows "-" (0 when read).
int32_t readDrive(THSMARTDevice &device, const DrivePlatform &platform);
// The same, but a rotating ATA drive that `mayWake` may not wake is first
// asked for its power mode; in standby or sleep nothing more is sent, its
// properties get kAsleepKey = true and 0 is returned. An empty policy reads
// every drive without asking.
int32_t readDrive(THSMARTDevice &device, const DrivePlatform &platform, const WakePolicy &mayWake);

} // namespace corvane
