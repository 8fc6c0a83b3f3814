// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Paths.h"

#include <QDir>

namespace corvane {

// XDG base directories are read from the environment at every call so that
// tests can point a program at a temporary home.
static QString xdgDir(const char *variable, const QString &fallbackBelowHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + fallbackBelowHome;
}

QString groupContainer()
{
    return xdgDir("XDG_DATA_HOME", QStringLiteral(".local/share")) + QLatin1Char('/')
           + QLatin1String(kSuiteName) + QLatin1Char('/');
}

QString programDataDir()
{
    return xdgDir("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/corvane/");
}

QString logDir()
{
    return xdgDir("XDG_STATE_HOME", QStringLiteral(".local/state")) + QStringLiteral("/corvane/");
}

QString sharedDefaultsFile()
{
    return xdgDir("XDG_CONFIG_HOME", QStringLiteral(".config")) + QLatin1Char('/')
           + QLatin1String(kSuiteName) + QStringLiteral(".conf");
}

} // namespace corvane
