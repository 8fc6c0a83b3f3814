// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry of a Linux machine: the block devices and their ancestors from
// udev, described with the property and disk-description keys enumeration
// reads (mapping table in docs/recorded-sets.md).
#include "platform/Registry.h"
#include "platform/linux/DeviceSource.h"

#include <memory>

namespace corvane {

std::unique_ptr<TreeRegistry> buildUdevRegistry(const DeviceSource &source);

// This machine's registry, read through libudev.
std::unique_ptr<TreeRegistry> openSystemRegistry();

// Whether a whole block device of this kernel name can be a drive at all
// (loop, ram, zram, device-mapper, md, optical, floppy and nbd devices can't).
bool isDriveKernelName(const QString &sysname);

// "\x20"-style escapes of udev's *_ENC properties, decoded as UTF-8.
QString decodeUdevString(const QString &encoded);

} // namespace corvane
