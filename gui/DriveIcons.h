// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace corvane::gui {

enum class DriveKind { Internal, External };

// Icon-theme name of the drive holding "/": "drive-harddisk-solidstate" for a
// non-rotational one, "drive-harddisk" otherwise (themes without the former fall
// back to the latter by name). Looked up once per process.
QString startupDriveIconName();
// The theme name for a kind: the start-up drive's for internal drives,
// "drive-removable-media" for external ones.
QString driveIconName(DriveKind kind);

// The theme's icon, or the bundled one when the theme has none.
QIcon driveIcon(DriveKind kind);
// A drive's "diskIcon" (theme name or file path), else the icon of its kind.
QIcon driveIcon(const QString &nameOrPath, DriveKind kind);
// Corvane's own drawing of a drive, used when the icon theme lacks drive icons.
QIcon fallbackDriveIcon(DriveKind kind);
QPixmap drawFallbackDrive(DriveKind kind, int size);

// The corner mark ("MenuIcon"): a drive platter with a pulse line, in `color`.
void drawMenuIcon(class QPainter &painter, const class QRectF &rect, const class QColor &color);

} // namespace corvane::gui
