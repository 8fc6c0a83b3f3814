// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ATA and NVMe seams over corvane-helper on the system bus, for programs
// that run without CAP_SYS_RAWIO / CAP_SYS_ADMIN. Refusals and bus failures
// become the helper status codes of platform/DeviceStatus.h.
#include "drive/DriveReader.h"
#include "platform/AtaSmartInterface.h"
#include "platform/NvmeInterface.h"

#include <QDBusConnection>

namespace corvane::helper {

AtaSmartOpener helperAtaSmartOpener(const QDBusConnection &bus);
NvmeOpener helperNvmeOpener(const QDBusConnection &bus);

// Both capabilities in the effective set: the process reaches drives itself.
bool hasDirectDriveAccess();
// The helper is running or the bus can start it.
bool helperAvailable(const QDBusConnection &bus);

// Called once from a front end's main(): from then on DrivePlatform::system()
// forwards to the helper when the process lacks the capabilities and the
// helper is installed; root keeps direct access.
void installHelperSeams();

// ATA self-test subcommands beyond the seam's short and extended test
// (0x03 conveyance, 0x7F abort) on a seam this file opened; kStatusBadArgument
// for any other seam.
int32_t helperAtaSelfTest(AtaSmartInterface &seam, uint8_t subcommand);

} // namespace corvane::helper
