// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QVariantMap>

namespace corvane::app {

// The USB bridge status record: "installed" (the uas or usb-storage module
// exists for the running kernel, as a module or built in), "loaded" (one of
// them is loaded), "attached" (a whole disk sits behind a USB bridge),
// "T2 controller" (always false here) and "ARM64". `root` lets tests point
// it at a fake file tree; `kernelRelease` defaults to the running kernel's.
QVariantMap statusSATSMARTDriver(const QString &root = QStringLiteral("/"), QString kernelRelease = QString());

// What "Install SAT SMART Driver..." tells a Linux user.
QString satDriverExplanation();

} // namespace corvane::app
