// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordedSet.h"
#include "platform/DeviceStatus.h"
#include "platform/recorded/RecordedNvme.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace corvane;
using corvane::test::RecordedSet;
using corvane::test::readData;

namespace {
QByteArray asBytes(const std::vector<uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
}
} // namespace

TEST(RecordedNvme, ServesTheRecordedBlocks)
{
    RecordedSet set;
    set.copyQemuNvme(QStringLiteral("nvme0n1"));
    int32_t status = -1;
    auto nvme = recordedNvmeOpener(set.path())(QStringLiteral("nvme0n1"), status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(nvme);
    std::vector<uint8_t> identify(4096), page(512), errors(16384, 0);
    ASSERT_EQ(nvme->identifyController(identify), 0);
    EXPECT_EQ(asBytes(identify), readData(QStringLiteral("nvme-qemu/nvme0-id-ctrl.bin")));
    EXPECT_EQ(nvme->interfaceVersion(), 1);
    EXPECT_EQ(nvme->interfaceRevision(), 4);
    ASSERT_EQ(nvme->smartReadData(page), 0);
    EXPECT_EQ(asBytes(page), readData(QStringLiteral("nvme-qemu/nvme0-log02-smart.bin")));
    ASSERT_EQ(nvme->getLogPage(nvme::kLogFirmwareSlot, page, 128), 0);
    EXPECT_EQ(asBytes(page), readData(QStringLiteral("nvme-qemu/nvme0-log03-fwslot.bin")));
    // The file holds four entries; one is asked for and only it is copied.
    errors[64] = 0x77;
    ASSERT_EQ(nvme->getLogPage(nvme::kLogError, errors, 16), 0);
    EXPECT_EQ(errors[64], 0x77);
    // Asking for more than was recorded is a short transfer.
    EXPECT_EQ(nvme->getLogPage(nvme::kLogError, errors, 4096), kStatusShortTransfer);
    EXPECT_EQ(nvme->getLogPage(0x05, page, 128), statusFromNvme(0x4002));
    EXPECT_EQ(nvme->getLogPage(2, page, 129), kStatusBadArgument);
}

TEST(RecordedNvme, MissingBlocksUnreadableAndVanishedDrives)
{
    RecordedSet set;
    set.copyQemuNvme(QStringLiteral("nvme0n1"));
    QFile::remove(QDir(set.drive(QStringLiteral("nvme0n1"))).filePath(QStringLiteral("nvme-log03-fwslot.bin")));
    RecordedNvme nvme(set.drive(QStringLiteral("nvme0n1")));
    std::vector<uint8_t> identify(4096), page(512, 0xAB);
    EXPECT_EQ(nvme.getLogPage(nvme::kLogFirmwareSlot, page, 128), statusFromNvme(0x4002));
    EXPECT_EQ(page, std::vector<uint8_t>(512, 0xAB));
    EXPECT_EQ(nvme.smartReadData(page), 0);

    set.put(QStringLiteral("nvme0n1"), QStringLiteral("nvme-id-ctrl.bin"), QByteArray(1000, 'a'));
    EXPECT_EQ(nvme.identifyController(identify), kStatusShortTransfer);

    set.put(QStringLiteral("nvme0n1"), QStringLiteral("unreadable"), "EPERM");
    EXPECT_EQ(nvme.smartReadData(page), statusFromErrno(EPERM));
    int32_t status = 0;
    EXPECT_EQ(recordedNvmeOpener(set.path())(QStringLiteral("nvme0n1"), status), nullptr);
    EXPECT_TRUE(isPrivilegeStatus(status));
    EXPECT_EQ(recordedNvmeOpener(set.path())(QStringLiteral("nvme7n1"), status), nullptr);
    EXPECT_EQ(errnoOfStatus(status), ENODEV);
}
