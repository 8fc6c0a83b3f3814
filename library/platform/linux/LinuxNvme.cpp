// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/LinuxNvme.h"

#include "platform/DeviceStatus.h"
#include "platform/linux/DeviceFile.h"

#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <linux/nvme_ioctl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

NvmeIoctlTransport::NvmeIoctlTransport(int fd) : m_fd(fd) {}

NvmeIoctlTransport::~NvmeIoctlTransport()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int32_t NvmeIoctlTransport::submit(const NvmeAdminCommand &command, std::span<uint8_t> data)
{
    if (data.size() < command.dataLength)
        return kStatusBadArgument;
    nvme_admin_cmd cmd{};
    cmd.opcode = command.opcode;
    cmd.flags = command.flags;
    cmd.nsid = command.nsid;
    cmd.cdw2 = command.cdw2;
    cmd.cdw3 = command.cdw3;
    cmd.cdw10 = command.cdw10;
    cmd.cdw11 = command.cdw11;
    cmd.cdw12 = command.cdw12;
    cmd.cdw13 = command.cdw13;
    cmd.cdw14 = command.cdw14;
    cmd.cdw15 = command.cdw15;
    cmd.addr = reinterpret_cast<uintptr_t>(data.data());
    cmd.data_len = command.dataLength;
    cmd.timeout_ms = command.timeoutMs;
    int result;
    do {
        result = ::ioctl(m_fd, NVME_IOCTL_ADMIN_CMD, &cmd);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        return statusFromErrno(errno);
    // A positive value is the command's completion status from the controller.
    if (result > 0)
        return statusFromNvme(uint32_t(result));
    return kStatusSuccess;
}

QString nvmeControllerName(const QString &bsdName)
{
    static const QRegularExpression pattern(QStringLiteral("^(nvme[0-9]+)(?:c[0-9]+)?(?:n[0-9]+)?$"));
    const QRegularExpressionMatch m = pattern.match(bsdName);
    return m.hasMatch() ? m.captured(1) : QString();
}

std::unique_ptr<NvmeInterface> openLinuxNvmePath(const QString &devicePath, int32_t &status)
{
    const int fd = openDeviceFile(devicePath, DeviceKind::Character, status);
    if (fd < 0)
        return nullptr;
    return std::make_unique<NvmeAdminController>(std::make_unique<NvmeIoctlTransport>(fd));
}

std::unique_ptr<NvmeInterface> openLinuxNvme(const QString &bsdName, int32_t &status)
{
    const QString controller = nvmeControllerName(bsdName);
    if (controller.isEmpty()) {
        status = kStatusNoDevice;
        return nullptr;
    }
    return openLinuxNvmePath(QStringLiteral("/dev/") + controller, status);
}

} // namespace corvane
