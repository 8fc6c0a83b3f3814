// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>

namespace corvane::app {

// Runs outside programs from argument lists, never through a shell. Tests
// replace it with a fake that records the calls.
class CommandRunner
{
public:
    virtual ~CommandRunner() = default;
    // Exit status (-1 when the program could not be started); stdout and
    // stderr merged into *output.
    virtual int run(const QString &program, const QStringList &arguments, QString *output) = 0;
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
};

class ProcessRunner : public CommandRunner
{
public:
    int run(const QString &program, const QStringList &arguments, QString *output) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
};

} // namespace corvane::app
