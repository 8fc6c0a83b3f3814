// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File access shared by the recorded seams.
#include <QString>
#include <cstdint>
#include <span>

namespace corvane::recorded {

// drives/<bsdName>/ below a set, or an empty string for a name that is not a
// plain kernel name.
QString driveDir(const QString &setDir, const QString &bsdName);

// 0, or the status every access to the drive gets: ENODEV when its folder is
// gone, the errno named in its `unreadable` file (EIO when the name is unknown).
int32_t driveStatus(const QString &driveDir);

// Reads exactly buffer.size() bytes from the start of the file into the
// buffer. `missing` is returned when the file is absent, a short-transfer
// status when it is shorter; the buffer is untouched on failure.
int32_t readPage(const QString &path, std::span<uint8_t> buffer, int32_t missing);

} // namespace corvane::recorded
