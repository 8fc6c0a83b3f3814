// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtaSmartInterface.h"
#include "platform/DeviceStatus.h"
#include "platform/linux/LinuxAtaSmart.h"
#include "platform/linux/LinuxNvme.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cerrno>

using namespace corvane;

TEST(DeviceStatus, ErrnoSurvivesTheStatusAndReadsWell)
{
    EXPECT_EQ(errnoOfStatus(statusFromErrno(EIO)), EIO);
    EXPECT_EQ(errnoOfStatus(statusFromAtaRegisters(0x51, 0x04)), 0);
    EXPECT_NE(statusFromErrno(0), 0); // a failure never becomes success
    EXPECT_LT(statusFromErrno(EACCES), 0);
    EXPECT_TRUE(statusText(statusFromErrno(EIO)).endsWith(QStringLiteral("(EIO)")));
    EXPECT_EQ(statusText(statusFromAtaRegisters(0x51, 0x04)),
              QStringLiteral("ATA command aborted (status 0x51, error 0x04)"));
    EXPECT_EQ(statusText(statusFromSense(5, 0x20, 0)),
              QStringLiteral("The command is not supported (sense key 0x05, ASC 0x20, ASCQ 0x00)"));
    EXPECT_TRUE(isNoDeviceStatus(statusFromErrno(ENODEV)));
    EXPECT_TRUE(isNoDeviceStatus(kStatusNoDevice));
    EXPECT_FALSE(isNoDeviceStatus(statusFromErrno(EIO)));
    EXPECT_EQ(errnoFromName(u" ENODEV\n"), ENODEV);
    EXPECT_EQ(errnoFromName(u"5"), 5);
    for (const char16_t *bad : {u"EWHATEVER", u"-3", u"", u"65536"})
        EXPECT_EQ(errnoFromName(bad), 0);
    EXPECT_EQ(errnoFromName(u"65535"), 65535);
    EXPECT_EQ(errnoName(EPERM), QStringLiteral("EPERM"));

    for (int e : {EACCES, EPERM}) {
        const int32_t s = statusFromErrno(e);
        EXPECT_TRUE(isPrivilegeStatus(s));
        const QString message = statusUserMessage(s);
        EXPECT_TRUE(message.startsWith(QStringLiteral("Install the Corvane helper")));
        EXPECT_TRUE(message.contains(QStringLiteral("CAP_SYS_RAWIO")) && message.contains(QStringLiteral("CAP_SYS_ADMIN")));
        EXPECT_EQ(message.count(QLatin1Char('.')), 1); // one sentence
    }
    EXPECT_FALSE(isPrivilegeStatus(statusFromErrno(EIO)));
    EXPECT_EQ(statusUserMessage(statusFromErrno(EIO)), statusText(statusFromErrno(EIO)));
    // Through the helper: what to install, who decided, what to check.
    EXPECT_EQ(statusUserMessage(kStatusHelperMissing), statusUserMessage(statusFromErrno(EACCES)));
    EXPECT_TRUE(statusUserMessage(kStatusHelperNotAuthorized).startsWith(QStringLiteral("Not authorised by the system's policy")));
    EXPECT_TRUE(statusUserMessage(kStatusHelperNotRunning).startsWith(QStringLiteral("The Corvane helper is not running")));
    EXPECT_EQ(statusText(kStatusHelperNotRunning), QStringLiteral("The Corvane helper is not running"));
}

TEST(DeviceStatus, DeviceNamesNeverBecomePaths)
{
    for (const char *name : {"sda", "nvme0n1"})
        EXPECT_TRUE(isPlainDeviceName(QLatin1String(name))) << name;
    for (const char *name : {"", "../sda", "sd a", ".."})
        EXPECT_FALSE(isPlainDeviceName(QLatin1String(name))) << name;
    // The controller of a namespace, never of anything else.
    const std::pair<const char *, const char *> controllers[] = {
        {"nvme0n1", "nvme0"}, {"nvme12n3", "nvme12"}, {"nvme1c2n1", "nvme1"}, {"nvme0", "nvme0"},
        {"sda", ""},          {"nvme0n1p2", ""},      {"../nvme0n1", ""}};
    for (const auto &[name, controller] : controllers)
        EXPECT_EQ(nvmeControllerName(QLatin1String(name)), QLatin1String(controller)) << name;

    int32_t status = 0;
    EXPECT_EQ(openLinuxAtaSmart(QStringLiteral("../etc/passwd"), status), nullptr);
    EXPECT_EQ(status, kStatusNoDevice);
    status = 0;
    EXPECT_EQ(openLinuxNvme(QStringLiteral("sda"), status), nullptr);
    EXPECT_EQ(status, kStatusNoDevice);
    EXPECT_EQ(openLinuxAtaSmart(QStringLiteral("corvane-no-such-disk"), status), nullptr);
    EXPECT_EQ(errnoOfStatus(status), ENOENT);
    // A regular file is no device.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(openLinuxAtaSmartPath(file.fileName(), status), nullptr);
    EXPECT_EQ(errnoOfStatus(status), ENODEV);
}
