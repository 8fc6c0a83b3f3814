// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DeviceFile.h"

#include "platform/DeviceStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

int openDeviceFile(const QString &devicePath, DeviceKind kind, int32_t &status)
{
    const QByteArray path = devicePath.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        status = statusFromErrno(errno);
        return -1;
    }
    struct stat st{};
    const bool isDevice = ::fstat(fd, &st) == 0
                          && (S_ISCHR(st.st_mode) || (kind == DeviceKind::BlockOrCharacter && S_ISBLK(st.st_mode)));
    if (!isDevice) {
        ::close(fd);
        status = statusFromErrno(ENODEV);
        return -1;
    }
    status = kStatusSuccess;
    return fd;
}

} // namespace corvane
