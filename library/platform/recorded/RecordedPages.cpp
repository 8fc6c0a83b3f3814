// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recorded/RecordedPages.h"

#include "platform/AtaSmartInterface.h"
#include "platform/DeviceStatus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace corvane::recorded {

QString driveDir(const QString &setDir, const QString &bsdName)
{
    if (!isPlainDeviceName(bsdName))
        return {};
    return QDir(setDir).filePath(QStringLiteral("drives/") + bsdName);
}

int32_t driveStatus(const QString &dir)
{
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return statusFromErrno(ENODEV);
    QFile unreadable(QDir(dir).filePath(QStringLiteral("unreadable")));
    if (unreadable.exists()) {
        const QByteArray name = unreadable.open(QIODevice::ReadOnly) ? unreadable.read(64) : QByteArray();
        const int error = errnoFromName(QString::fromLatin1(name));
        return statusFromErrno(error ? error : EIO);
    }
    return kStatusSuccess;
}

int32_t readPage(const QString &path, std::span<uint8_t> buffer, int32_t missing)
{
    QFile file(path);
    if (!file.exists())
        return missing;
    if (!file.open(QIODevice::ReadOnly))
        return statusFromErrno(EIO);
    const QByteArray data = file.read(qint64(buffer.size()));
    if (size_t(data.size()) < buffer.size())
        return kStatusShortTransfer;
    std::copy(data.begin(), data.end(), buffer.begin());
    return kStatusSuccess;
}

} // namespace corvane::recorded
