// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DeviceStatus.h"

#include <cerrno>
#include <cstring>

namespace corvane {

namespace {

constexpr uint32_t kErrnoFamily = 0xE0C00000;
constexpr uint32_t kAtaFamily = 0xE0C10000;
constexpr uint32_t kNvmeFamily = 0xE0C20000;
constexpr uint32_t kSenseFamily = 0xE0D00000;

struct ErrnoName {
    int value;
    const char *name;
};

// The errors a drive read can meet; recorded sets name them in `unreadable`.
constexpr ErrnoName kErrnoNames[] = {
    {EPERM, "EPERM"},   {ENOENT, "ENOENT"},   {EIO, "EIO"},           {ENXIO, "ENXIO"},
    {EBADF, "EBADF"},   {EAGAIN, "EAGAIN"},   {ENOMEM, "ENOMEM"},     {EACCES, "EACCES"},
    {EFAULT, "EFAULT"}, {EBUSY, "EBUSY"},     {ENODEV, "ENODEV"},     {EINVAL, "EINVAL"},
    {ENOTTY, "ENOTTY"}, {EROFS, "EROFS"},     {ENOSYS, "ENOSYS"},     {EOPNOTSUPP, "EOPNOTSUPP"},
    {EINTR, "EINTR"},   {ETIMEDOUT, "ETIMEDOUT"}, {ENOMEDIUM, "ENOMEDIUM"},
    {EREMOTEIO, "EREMOTEIO"}, {ESHUTDOWN, "ESHUTDOWN"},
};

QString hex2(unsigned v) { return QStringLiteral("0x%1").arg(v, 2, 16, QLatin1Char('0')); }

// The sense keys a drive read meets; libata reports an aborted ATA command
// as ABORTED COMMAND.
QString senseKeyText(unsigned key)
{
    switch (key) {
    case 0x2:
        return QStringLiteral("The drive is not ready");
    case 0x3:
        return QStringLiteral("Medium error");
    case 0x4:
        return QStringLiteral("Hardware error");
    case 0x5:
        return QStringLiteral("The command is not supported");
    case 0x6:
        return QStringLiteral("The drive was reset or changed");
    case 0xB:
        return QStringLiteral("The drive aborted the command");
    default:
        return QStringLiteral("SCSI check condition");
    }
}

} // namespace

int32_t statusFromErrno(int error)
{
    if (error <= 0)
        return kStatusTransportError;
    return int32_t(kErrnoFamily | (uint32_t(error) & 0xFFFF));
}

int32_t statusFromAtaRegisters(uint8_t status, uint8_t error)
{
    return int32_t(kAtaFamily | (uint32_t(status) << 8) | error);
}

int32_t statusFromNvme(uint32_t nvmeStatus)
{
    return int32_t(kNvmeFamily | (nvmeStatus & 0xFFFF));
}

int32_t statusFromSense(uint8_t senseKey, uint8_t asc, uint8_t ascq)
{
    return int32_t(kSenseFamily | (uint32_t(senseKey & 0x0F) << 16) | (uint32_t(asc) << 8) | ascq);
}

int errnoOfStatus(int32_t status)
{
    return (uint32_t(status) & 0xFFFF0000u) == kErrnoFamily ? int(uint32_t(status) & 0xFFFF) : 0;
}

bool isPrivilegeStatus(int32_t status)
{
    const int e = errnoOfStatus(status);
    return e == EACCES || e == EPERM;
}

bool isNoDeviceStatus(int32_t status)
{
    const int e = errnoOfStatus(status);
    return status == kStatusNoDevice || e == ENODEV || e == ENXIO || e == ENOENT || e == ENOMEDIUM;
}

int errnoFromName(QStringView name)
{
    const QString trimmed = name.trimmed().toString();
    for (const ErrnoName &n : kErrnoNames) {
        if (trimmed == QLatin1String(n.name))
            return n.value;
    }
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    return ok && value > 0 && value < 0x10000 ? value : 0;
}

QString errnoName(int error)
{
    for (const ErrnoName &n : kErrnoNames) {
        if (n.value == error)
            return QLatin1String(n.name);
    }
    return QStringLiteral("errno %1").arg(error);
}

QString statusText(int32_t status)
{
    const uint32_t s = uint32_t(status);
    if (status == kStatusSuccess)
        return QStringLiteral("Success");
    if (const int e = errnoOfStatus(status))
        return QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(strerror(e)), errnoName(e));
    if ((s & 0xFFFF0000u) == kAtaFamily)
        return QStringLiteral("ATA command aborted (status %1, error %2)")
            .arg(hex2((s >> 8) & 0xFF), hex2(s & 0xFF));
    if ((s & 0xFFFF0000u) == kNvmeFamily) {
        // Type and code without the Do Not Retry and More bits.
        const uint32_t code = s & 0x07FF;
        const char *what = code == 0x0001   ? "the controller does not support the command; "
                           : code == 0x011D ? "a device self-test is already running; "
                                            : "";
        return QStringLiteral("NVMe command failed (%1status 0x%2)")
            .arg(QLatin1String(what))
            .arg(s & 0xFFFF, 4, 16, QLatin1Char('0'));
    }
    if ((s & 0xFFF00000u) == kSenseFamily)
        return QStringLiteral("%1 (sense key %2, ASC %3, ASCQ %4)")
            .arg(senseKeyText((s >> 16) & 0x0F), hex2((s >> 16) & 0x0F), hex2((s >> 8) & 0xFF), hex2(s & 0xFF));
    switch (status) {
    case kStatusNoDevice:
        return QStringLiteral("No such drive");
    case kStatusShortTransfer:
        return QStringLiteral("The drive returned less data than asked for");
    case kStatusNoAtaRegisters:
        return QStringLiteral("The drive or its bridge returned no ATA registers");
    case kStatusBadChecksum:
        return QStringLiteral("Page checksum mismatch");
    case kStatusUnexpectedAnswer:
        return QStringLiteral("Unexpected answer from the drive");
    case kStatusBadArgument:
        return QStringLiteral("Invalid request");
    case kStatusTimeout:
        return QStringLiteral("The drive did not answer in time");
    case kStatusTransportError:
        return QStringLiteral("The command did not reach the drive");
    case kStatusHelperMissing:
        return QStringLiteral("The Corvane helper is not installed");
    case kStatusHelperNotAuthorized:
        return QStringLiteral("Not authorised by the system's policy");
    case kStatusHelperNotRunning:
        return QStringLiteral("The Corvane helper is not running");
    default:
        return QStringLiteral("Device error 0x%1").arg(s, 8, 16, QLatin1Char('0'));
    }
}

QString statusUserMessage(int32_t status)
{
    if (isPrivilegeStatus(status) || status == kStatusHelperMissing)
        return QStringLiteral("Install the Corvane helper (corvane-helper) to read this drive's SMART data "
                              "as a normal user, or run Corvane as root: reading it needs CAP_SYS_RAWIO "
                              "for ATA drives and CAP_SYS_ADMIN for NVMe drives.");
    if (status == kStatusHelperNotAuthorized)
        return QStringLiteral("Not authorised by the system's policy: reading SMART data needs an active "
                              "local session, and self-tests need an administrator's password.");
    if (status == kStatusHelperNotRunning)
        return QStringLiteral("The Corvane helper is not running: check \"systemctl status corvane-helper\" "
                              "and the system bus.");
    return statusText(status);
}

} // namespace corvane
