// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceBackend.h"

#include "platform/AtaPassThrough.h"
#include "platform/DeviceStatus.h"
#include "platform/linux/DeviceFile.h"
#include "platform/linux/LinuxAtaSmart.h"
#include "platform/linux/LinuxNvme.h"
#include "platform/recorded/RecordedAtaSmart.h"
#include "platform/recorded/RecordedNvme.h"
#include "platform/recorded/RecordedRegistry.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <sys/sysmacros.h>

namespace corvane::helper {

namespace {

// "8:0\n" from a sysfs dev attribute; nothing else is accepted.
std::optional<dev_t> readDevNumber(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.read(32).trimmed();
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,7}):([0-9]{1,7})$"));
    const QRegularExpressionMatch m = pattern.match(QString::fromLatin1(text));
    if (!m.hasMatch())
        return std::nullopt;
    return makedev(m.captured(1).toUInt(), m.captured(2).toUInt());
}

QString driverOf(const QString &sysDevice)
{
    const QFileInfo driver(sysDevice + QStringLiteral("/device/driver"));
    return driver.isSymLink() ? QFileInfo(driver.symLinkTarget()).fileName() : QString();
}

class LinuxBackend : public DeviceBackend
{
public:
    LinuxBackend(QString sysRoot, QString devRoot) : m_sys(std::move(sysRoot)), m_dev(std::move(devRoot)) {}

    std::unique_ptr<AtaSmartInterface> openAta(const QString &name, int32_t &status, QString &reason) override
    {
        const int fd = open(QStringLiteral("/class/block/"), name, QStringLiteral("sd"), DeviceKind::Block, status, reason);
        if (fd < 0)
            return nullptr;
        return std::make_unique<AtaPassThroughSmart>(std::make_unique<SgIoTransport>(fd));
    }

    std::unique_ptr<NvmeInterface> openNvme(const QString &name, int32_t &status, QString &reason) override
    {
        const int fd = open(QStringLiteral("/class/nvme/"), nvmeControllerName(name), QStringLiteral("nvme"),
                            DeviceKind::Character, status, reason);
        if (fd < 0)
            return nullptr;
        return std::make_unique<NvmeAdminController>(std::make_unique<NvmeIoctlTransport>(fd));
    }

private:
    int open(const QString &sysClass, const QString &name, const QString &driver, DeviceKind kind,
             int32_t &status, QString &reason)
    {
        status = kStatusNoDevice;
        const QString sysDevice = m_sys + sysClass + name;
        if (name.isEmpty() || !QFileInfo::exists(sysDevice)) {
            reason = QStringLiteral("no drive named \"%1\"").arg(name);
            return -1;
        }
        if (QFileInfo::exists(sysDevice + QStringLiteral("/partition"))) {
            reason = QStringLiteral("\"%1\" is a partition, not a whole drive").arg(name);
            return -1;
        }
        const QString actualDriver = driverOf(sysDevice);
        if (actualDriver != driver) {
            reason = QStringLiteral("\"%1\" is not driven by %2").arg(name, driver);
            return -1;
        }
        const std::optional<dev_t> number = readDevNumber(sysDevice + QStringLiteral("/dev"));
        if (!number) {
            reason = QStringLiteral("\"%1\" has no device number").arg(name);
            return -1;
        }
        const int fd = openDeviceNode(m_dev + QLatin1Char('/') + name, kind, *number, status);
        if (fd < 0) {
            const int e = errnoOfStatus(status);
            reason = e == ELOOP    ? QStringLiteral("/dev/%1 is a symlink").arg(name)
                     : e == ENODEV ? QStringLiteral("/dev/%1 is not the %2 device %3:%4")
                                         .arg(name, kind == DeviceKind::Block ? QStringLiteral("block") : QStringLiteral("character"))
                                         .arg(major(*number)).arg(minor(*number))
                                   : QStringLiteral("/dev/%1: %2").arg(name, statusText(status));
        }
        return fd;
    }

    QString m_sys, m_dev;
};

class RecordedBackend : public DeviceBackend
{
public:
    explicit RecordedBackend(const QString &setDir)
        : m_ata(recordedAtaSmartOpener(setDir)), m_nvme(recordedNvmeOpener(setDir))
    {
    }
    std::unique_ptr<AtaSmartInterface> openAta(const QString &name, int32_t &status, QString &reason) override
    {
        auto seam = m_ata(name, status);
        if (!seam)
            reason = statusText(status);
        return seam;
    }
    std::unique_ptr<NvmeInterface> openNvme(const QString &name, int32_t &status, QString &reason) override
    {
        auto seam = m_nvme(name, status);
        if (!seam)
            reason = statusText(status);
        return seam;
    }

private:
    AtaSmartOpener m_ata;
    NvmeOpener m_nvme;
};

} // namespace

std::unique_ptr<DeviceBackend> linuxDeviceBackend(const QString &sysRoot, const QString &devRoot)
{
    return std::make_unique<LinuxBackend>(sysRoot, devRoot);
}

std::unique_ptr<DeviceBackend> recordedDeviceBackend(const QString &setDir)
{
    return std::make_unique<RecordedBackend>(recordedSetFolder(setDir));
}

} // namespace corvane::helper
