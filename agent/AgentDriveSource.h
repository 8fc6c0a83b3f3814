// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "DriveSource.h"

#include <memory>

namespace corvane {

// The drives corvane-agent watches: the machine's own when recordedDir is
// empty, else the recorded set in that folder. Null with *error set when
// the source cannot be made.
std::unique_ptr<DriveSource> makeAgentDriveSource(const QString &recordedDir, QString *error);

} // namespace corvane
