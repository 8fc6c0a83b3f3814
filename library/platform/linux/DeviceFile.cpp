// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DeviceFile.h"

#include "platform/DeviceStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

bool isKind(mode_t mode, DeviceKind kind)
{
    switch (kind) {
    case DeviceKind::BlockOrCharacter:
        return S_ISCHR(mode) || S_ISBLK(mode);
    case DeviceKind::Character:
        return S_ISCHR(mode);
    case DeviceKind::Block:
        return S_ISBLK(mode);
    }
    return false;
}

int openChecked(const QString &devicePath, DeviceKind kind, const dev_t *expected, int flags, int32_t &status)
{
    const QByteArray path = devicePath.toLocal8Bit();
    // O_NONBLOCK also keeps a FIFO put in a device's place from blocking the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    if (fd < 0) {
        status = statusFromErrno(errno);
        return -1;
    }
    struct stat st{};
    const bool isDevice = ::fstat(fd, &st) == 0 && isKind(st.st_mode, kind)
                          && (!expected || st.st_rdev == *expected);
    if (!isDevice) {
        ::close(fd);
        status = statusFromErrno(ENODEV);
        return -1;
    }
    status = kStatusSuccess;
    return fd;
}

} // namespace

int openDeviceFile(const QString &devicePath, DeviceKind kind, int32_t &status)
{
    return openChecked(devicePath, kind, nullptr, 0, status);
}

int openDeviceNode(const QString &devicePath, DeviceKind kind, dev_t expected, int32_t &status)
{
    return openChecked(devicePath, kind, &expected, O_NOFOLLOW, status);
}

} // namespace corvane
