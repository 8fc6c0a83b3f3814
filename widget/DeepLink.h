// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace corvane::widget {

// The main application's program: beside this one when installed, in the build
// tree's app/ when run from there, otherwise "corvane" from PATH.
QString mainApplicationProgram();

// Starts the main application with `url` as its argument; false (and a line on
// standard output) when it could not be started.
bool openMainApplication(const QString &url);

} // namespace corvane::widget
