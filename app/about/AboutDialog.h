// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

class QDialog;
class QWidget;

namespace corvane::app {

// "Version 0.2.0 (Build 2)" for the main window's status bar.
QString versionBuildText();
// The build line of the About box: "Build <number>-<revision>".
QString aboutBuildText();
QString copyrightNotice();
// The About box: version, build, copyright and the credits for the two
// reference databases. Deletes itself when closed.
QDialog *createAboutDialog(QWidget *parent);

} // namespace corvane::app
