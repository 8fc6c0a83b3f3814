// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveSource.h"

#include "drive/KernelNameOrder.h"

namespace corvane {

std::optional<QList<QVariantMap>> CannedDriveSource::readAllDrives(const QVariantMap &ignoreAttributes)
{
    ++_reads;
    _lastIgnore = ignoreAttributes;
    if (_unavailable)
        return std::nullopt;
    return _drives;
}


bool driveNameLess(const QString &a, const QString &b)
{
    return kernelNameLess(a, b);
}

} // namespace corvane
