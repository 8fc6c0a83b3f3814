// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SG_IO on a disk's block device: the Linux side of the ATA SMART seam.
#include "platform/AtaPassThrough.h"

namespace corvane {

class SgIoTransport : public ScsiTransport
{
public:
    // Takes ownership of the open file descriptor.
    explicit SgIoTransport(int fd);
    ~SgIoTransport() override;
    SgIoTransport(const SgIoTransport &) = delete;
    SgIoTransport &operator=(const SgIoTransport &) = delete;

    int32_t execute(const ScsiRequest &request, ScsiReply &reply) override;

private:
    int m_fd = -1;
};

// Opens /dev/<bsdName> read-only and non-blocking (a tray that is open or a
// drive in standby must not hang the open) and returns the seam over SG_IO.
std::unique_ptr<AtaSmartInterface> openLinuxAtaSmart(const QString &bsdName, int32_t &status);

// The same, on any device path (probes and tests on a VM).
std::unique_ptr<AtaSmartInterface> openLinuxAtaSmartPath(const QString &devicePath, int32_t &status);

} // namespace corvane
