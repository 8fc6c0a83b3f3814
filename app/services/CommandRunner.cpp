// SPDX-License-Identifier: GPL-3.0-or-later
#include "services/CommandRunner.h"

#include <QProcess>

namespace corvane::app {

int ProcessRunner::run(const QString &program, const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    // systemctl answers in milliseconds; the bound only keeps a hung user
    // manager from freezing the window for good.
    const bool finished = process.waitForStarted(5000) && process.waitForFinished(10000);
    if (output)
        *output = QString::fromUtf8(process.readAll()).trimmed();
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool ProcessRunner::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace corvane::app
