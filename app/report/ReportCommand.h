// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drive/DriveReader.h"

#include <QString>

namespace corvane::app {

// `corvane --export-pdf DRIVE OUT.pdf`: reads the drive (kernel name or /dev
// path) and writes its report without showing a window. Returns the process
// exit code after telling the user on stderr what went wrong.
int exportReportCommand(const DrivePlatform &platform, const QString &drive, const QString &outPath);

} // namespace corvane::app
