// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes a drive's raw pages into drives/<kernel name>/ of a recorded set, in
// the layout the recorded seams read (docs/recorded-pages.md), so a user can
// attach the drives of a machine to a bug report.
#include "platform/AtaSmartInterface.h"
#include "platform/NvmeInterface.h"

#include <QMap>
#include <QString>

namespace corvane {

struct PageRecording
{
    QStringList written;             // file names
    QMap<QString, int32_t> failed;   // file name -> status of the read that failed
    bool ok() const { return failed.isEmpty(); }
};

// Reads IDENTIFY, SMART data, thresholds, logs 0, 1 and 6 and the return
// status. A page that can't be read is left out, as the recorded seams take a
// missing file to be a page the drive doesn't give. Files are replaced whole.
PageRecording recordAtaPages(AtaSmartInterface &ata, const QString &driveDir);

// Identify Controller and log pages 1 (all the entries the controller keeps),
// 2 and 3.
PageRecording recordNvmePages(NvmeInterface &nvme, const QString &driveDir);

// A drive that couldn't be opened: an `unreadable` file naming the errno
// (EIO for failures that aren't one). False when it can't be written.
bool recordUnreadable(const QString &driveDir, int32_t status);

} // namespace corvane
