// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArrayView>
#include <QString>

namespace corvane {

// Replaces the drive database file at `path` (normally
// THSmartDeviceDatabase::dbPath()) with `text`, atomically: another program
// reading it, or a crash part-way, sees the old file or the new one, never
// a mix. Refuses text that doesn't parse as a drive database, so a broken
// download can't replace a good file. False with *error set on failure.
bool writeDriveDBFile(const QString &path, QByteArrayView text, QString *error = nullptr);

} // namespace corvane
