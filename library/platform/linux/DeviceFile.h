// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>
#include <sys/types.h>

namespace corvane {

enum class DeviceKind { BlockOrCharacter, Character, Block };

// Opens a device node read-only and non-blocking for pass-through ioctls;
// anything that is not a device of the given kind is refused (ENODEV), so a
// path can never make Corvane send commands to a regular file. Returns the
// descriptor, or -1 with the status set.
int openDeviceFile(const QString &devicePath, DeviceKind kind, int32_t &status);

// The same for a node that must be exactly the device `expected` (major and
// minor as sysfs names them): the last component is not followed if it is a
// symlink (ELOOP), and a node of another kind or number is refused (ENODEV).
int openDeviceNode(const QString &devicePath, DeviceKind kind, dev_t expected, int32_t &status);

} // namespace corvane
