// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "DriveSource.h"
#include "drive/DriveReader.h"

#include <functional>
#include <memory>

namespace corvane {

// The drives corvane-agent watches: the machine's own when recordedDir is
// empty, else the recorded set in that folder. Null with *error set when
// the source cannot be made.
std::unique_ptr<DriveSource> makeAgentDriveSource(const QString &recordedDir, QString *error);

// The same gather over any platform, opened anew for every gather; nullopt
// from `open` means the drives can't be listed. Tests wrap the seams with it.
using PlatformFactory = std::function<std::optional<DrivePlatform>()>;
std::unique_ptr<DriveSource> makeDriveSource(PlatformFactory open);

} // namespace corvane
