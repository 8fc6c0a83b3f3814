// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds recorded sets in a temporary folder from the in-repo test pages.
#include "TestData.h"
#include "drive/AtaPages.h"
#include "support/Fields.h"

#include <QTemporaryDir>

namespace corvane::test {

class RecordedSet
{
public:
    QString path() const { return m_dir.path(); }
    QString drive(const QString &bsd) const { return m_dir.filePath(QStringLiteral("drives/") + bsd); }

    void put(const QString &bsd, const QString &name, const QByteArray &content) const
    {
        writeFile(QDir(drive(bsd)).filePath(name), content);
    }
    // Test data file `from` (relative to tests/data) as `name`.
    void copy(const QString &bsd, const QString &name, const QString &from) const
    {
        put(bsd, name, readData(from));
    }
    // The ATA pages and return status in `folder` (absolute, or relative to tests/data) as drive `bsd`.
    void copyAtaPages(const QString &bsd, const QString &folder) const
    {
        QStringList names{QLatin1String(kAtaStatusFileName)};
        for (const AtaPageFile &file : kAtaPageFiles)
            names << QLatin1String(file.fileName);
        for (const QString &name : names)
            if (QFile f(QDir(dataPath({})).filePath(QDir(folder).filePath(name))); f.open(QIODevice::ReadOnly))
                put(bsd, name, f.readAll());
    }
    // The QEMU NVMe controller's blocks (tests/data/nvme-qemu) as drive `bsd`.
    void copyQemuNvme(const QString &bsd) const
    {
        for (const char *block : {"id-ctrl", "log01-error", "log02-smart", "log03-fwslot"})
            copy(bsd, QStringLiteral("nvme-%1.bin").arg(QLatin1String(block)),
                 QStringLiteral("nvme-qemu/nvme0-%1.bin").arg(QLatin1String(block)));
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
