// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting corvane-helper with its test options (the tests and the benchmark).
#include "HelperProtocol.h"

#include <QStandardPaths>
#include <QStringList>

namespace corvane::helper::test {

// On machines where the tests run as root, the helper starts without the two
// capabilities, as it must to accept its test options.
inline QStringList helperCommand(const QString &helper, const QStringList &args)
{
    const DriveCapabilities caps = effectiveDriveCapabilities();
    if (!caps.rawio && !caps.admin)
        return QStringList{helper} + args;
    return QStringList{QStandardPaths::findExecutable(QStringLiteral("setpriv")),
                       QStringLiteral("--bounding-set=-sys_rawio,-sys_admin"),
                       QStringLiteral("--inh-caps=-sys_rawio,-sys_admin"), QStringLiteral("--"), helper}
           + args;
}

} // namespace corvane::helper::test
