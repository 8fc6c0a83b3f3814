// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace corvane {

// The application group's shared folder: drivedb.h and data.json live here.
// $XDG_DATA_HOME/K7QX2W9R4D.com.tarnholm.corvane/
QString groupContainer();
// The programs' own data folder: $XDG_DATA_HOME/corvane/
QString programDataDir();
// Log files: $XDG_STATE_HOME/corvane/
QString logDir();
// The shared defaults file: $XDG_CONFIG_HOME/K7QX2W9R4D.com.tarnholm.corvane.conf
QString sharedDefaultsFile();

inline constexpr char kSuiteName[] = "K7QX2W9R4D.com.tarnholm.corvane";

} // namespace corvane
