// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the built corvanectl as a user does, with its own settings, state and data folders,
// so that a user's ignore choices or database never reach a test.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

namespace corvane::test {

struct CliRun
{
    int exitCode = -1;
    QByteArray out, err;
};

// Runs any program to its end (two minutes at most); `during` gets the running process.
inline CliRun runProcess(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                         const std::function<void(QProcess &)> &during = {})
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted())
        return {};
    if (during)
        during(p);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

class Cli
{
public:
    Cli()
    {
        _env = QProcessEnvironment::systemEnvironment();
        for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            _env.insert(QLatin1String(var), _home.filePath(QLatin1String(var)));
    }
    CliRun run(const QStringList &args, const std::function<void(QProcess &)> &during = {}) const
    {
        return runProcess(QStringLiteral(CORVANE_BINARY_DIR "/cli/corvanectl"), args, _env, during);
    }
    QJsonObject showJson(const QString &set, const QString &drive) const
    {
        return QJsonDocument::fromJson(run({QStringLiteral("show"), QStringLiteral("--recorded"), set,
                                            QStringLiteral("--json"), drive}).out).object();
    }

private:
    QTemporaryDir _home;
    QProcessEnvironment _env;
};

} // namespace corvane::test
