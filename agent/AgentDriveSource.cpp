// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentDriveSource.h"

namespace corvane {

// The one place where the agent meets drive access: enumeration plus the
// SMART and NVMe readers are plugged in here.
std::unique_ptr<DriveSource> makeAgentDriveSource(const QString &recordedDir, QString *error)
{
    if (!recordedDir.isEmpty()) {
        *error = QStringLiteral("recorded drive sets are not supported by this build");
        return nullptr;
    }
    return std::make_unique<CannedDriveSource>();
}

} // namespace corvane
