// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/DriveDatabaseFile.h"

#include "database/DriveDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace corvane {

bool writeDriveDBFile(const QString &path, QByteArrayView text, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    bool readable = false;
    const DriveDatabase parsed = DriveDatabase::parse(text, &readable);
    if (!readable || parsed.drives().isEmpty())
        return fail(QStringLiteral("not a drive database"));

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("cannot create the folder of %1").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(text.data(), text.size()) != text.size())
        return fail(file.errorString()); // the old file stays; QSaveFile drops the temporary
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace corvane
