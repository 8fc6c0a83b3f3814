// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// NVME_IOCTL_ADMIN_CMD on a controller's character device: the Linux side of
// the NVMe seam.
#include "platform/NvmeInterface.h"

namespace corvane {

class NvmeIoctlTransport : public NvmeAdminTransport
{
public:
    // Takes ownership of the open file descriptor.
    explicit NvmeIoctlTransport(int fd);
    ~NvmeIoctlTransport() override;
    NvmeIoctlTransport(const NvmeIoctlTransport &) = delete;
    NvmeIoctlTransport &operator=(const NvmeIoctlTransport &) = delete;

    int32_t submit(const NvmeAdminCommand &command, std::span<uint8_t> data) override;

private:
    int m_fd = -1;
};

// "nvme0n1" -> "nvme0", "nvme1c2n3" -> "nvme1", "nvme0" -> "nvme0"; empty when
// the name is not an NVMe name.
QString nvmeControllerName(const QString &bsdName);

// Opens /dev/<controller> of a namespace's kernel name.
std::unique_ptr<NvmeInterface> openLinuxNvme(const QString &bsdName, int32_t &status);
std::unique_ptr<NvmeInterface> openLinuxNvmePath(const QString &devicePath, int32_t &status);

} // namespace corvane
