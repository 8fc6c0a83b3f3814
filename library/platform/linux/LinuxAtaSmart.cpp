// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/LinuxAtaSmart.h"

#include "platform/DeviceStatus.h"
#include "platform/linux/DeviceFile.h"

#include <cerrno>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {
constexpr unsigned kHostTimeOut = 0x03;     // DID_TIME_OUT
constexpr unsigned kDriverStatusMask = 0x07; // DRIVER_SENSE (0x08) is not a failure
constexpr unsigned kDriverTimeout = 0x06;
} // namespace

SgIoTransport::SgIoTransport(int fd) : m_fd(fd) {}

SgIoTransport::~SgIoTransport()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int32_t SgIoTransport::execute(const ScsiRequest &request, ScsiReply &reply)
{
    std::array<uint8_t, 16> cdb = request.cdb;
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmd_len = uint8_t(cdb.size());
    io.cmdp = cdb.data();
    io.mx_sb_len = uint8_t(reply.sense.size());
    io.sbp = reply.sense.data();
    io.timeout = request.timeoutMs;
    io.dxfer_direction = request.dataIn ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    io.dxfer_len = request.dataIn ? unsigned(request.data.size()) : 0;
    io.dxferp = request.dataIn ? request.data.data() : nullptr;
    int result;
    do {
        result = ::ioctl(m_fd, SG_IO, &io);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        return statusFromErrno(errno);
    if (io.host_status == kHostTimeOut || (io.driver_status & kDriverStatusMask) == kDriverTimeout)
        return kStatusTimeout;
    if (io.host_status != 0 || (io.driver_status & kDriverStatusMask) != 0)
        return kStatusTransportError;
    reply.scsiStatus = io.status;
    reply.senseLength = io.sb_len_wr;
    reply.residual = io.resid > 0 ? size_t(io.resid) : 0;
    return kStatusSuccess;
}

std::unique_ptr<AtaSmartInterface> openLinuxAtaSmartPath(const QString &devicePath, int32_t &status)
{
    const int fd = openDeviceFile(devicePath, DeviceKind::BlockOrCharacter, status);
    if (fd < 0)
        return nullptr;
    return std::make_unique<AtaPassThroughSmart>(std::make_unique<SgIoTransport>(fd));
}

std::unique_ptr<AtaSmartInterface> openLinuxAtaSmart(const QString &bsdName, int32_t &status)
{
    if (!isPlainDeviceName(bsdName)) {
        status = kStatusNoDevice;
        return nullptr;
    }
    return openLinuxAtaSmartPath(QStringLiteral("/dev/") + bsdName, status);
}

} // namespace corvane
