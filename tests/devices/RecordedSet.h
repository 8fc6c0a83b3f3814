// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds recorded sets in a temporary folder from the in-repo test pages.
#include "TestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvane::test {

class RecordedSet
{
public:
    QString path() const { return m_dir.path(); }
    QString drive(const QString &bsd) const { return m_dir.filePath(QStringLiteral("drives/") + bsd); }

    void put(const QString &bsd, const QString &name, const QByteArray &content) const
    {
        QDir().mkpath(drive(bsd));
        QFile f(QDir(drive(bsd)).filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
    }
    // Copies test data file `from` (relative to tests/data) as `name`.
    void copy(const QString &bsd, const QString &name, const QString &from) const
    {
        put(bsd, name, readData(from));
    }
    QByteArray file(const QString &bsd, const QString &name) const
    {
        QFile f(QDir(drive(bsd)).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};

} // namespace corvane::test
