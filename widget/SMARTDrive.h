// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The widget draws the agent's drive summaries (drive/DriveSummary.h); what it
// adds is how a record looks on a tile.
#include "drive/DriveSummary.h"

class QIcon;

namespace corvane::widget {

using corvane::SMARTDrive;

// The tile's title: the first volume name without the " - Data" suffix, or the
// model when the drive has no named volume.
QString tileTitle(const SMARTDrive &drive);
// The drive's icon: the start-up drive's for internal drives, removable media
// otherwise (see DriveIcons.h).
QIcon driveImage(const SMARTDrive &drive);
// The record the widget gallery shows before any data exists.
SMARTDrive exampleDrive();

} // namespace corvane::widget
