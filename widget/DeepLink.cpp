// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeepLink.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

namespace corvane::widget {

QString mainApplicationProgram()
{
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {here + QStringLiteral("/corvane"),
                                     here + QStringLiteral("/../app/corvane")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    return QStringLiteral("corvane");
}

bool openMainApplication(const QString &url)
{
    const QString program = mainApplicationProgram();
    if (QProcess::startDetached(program, {url}))
        return true;
    std::printf("Could not start %s\n", qPrintable(program));
    std::fflush(stdout);
    return false;
}

} // namespace corvane::widget
