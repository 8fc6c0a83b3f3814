// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drive order as users read kernel names: sda < sdb < … < sdz < sdaa,
// nvme0n1 < nvme1n1 < nvme10n1, and a number in a name sorts by its value.
#include <QString>
#include <QStringList>

namespace corvane {

bool kernelNameLess(const QString &a, const QString &b);

// Also takes paths ("/dev/sdb"); sorts by the whole string, so pass names
// when only the last component should count.
QStringList sortedKernelNames(QStringList names);

} // namespace corvane
