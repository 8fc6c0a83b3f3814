// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>

namespace corvane {

enum class DeviceKind { BlockOrCharacter, Character };

// Opens a device node read-only and non-blocking for pass-through ioctls;
// anything that is not a device of the given kind is refused (ENODEV), so a
// path can never make Corvane send commands to a regular file. Returns the
// descriptor, or -1 with the status set.
int openDeviceFile(const QString &devicePath, DeviceKind kind, int32_t &status);

} // namespace corvane
