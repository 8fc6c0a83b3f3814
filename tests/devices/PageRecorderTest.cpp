// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordedSet.h"
#include "platform/DeviceStatus.h"
#include "platform/recorded/PageRecorder.h"
#include "platform/recorded/RecordedAtaSmart.h"
#include "platform/recorded/RecordedNvme.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace corvane;
using corvane::test::RecordedSet;
using corvane::test::readData;

TEST(PageRecorder, AtaPagesRoundTrip)
{
    RecordedSet from, to;
    from.copyAtaPages(QStringLiteral("sda"), QStringLiteral("ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57"));
    from.put(QStringLiteral("sda"), QStringLiteral("smart_status.txt"), "0 failing\n");
    RecordedAtaSmart ata(from.drive(QStringLiteral("sda")));

    const PageRecording r = recordAtaPages(ata, to.drive(QStringLiteral("sdb")));
    EXPECT_EQ(r.written.size(), 6);
    // The drive has no summary error log: left out, so it stays missing.
    ASSERT_EQ(r.failed.size(), 1);
    EXPECT_EQ(r.failed.firstKey(), QStringLiteral("smartlog-01-error.bin"));
    for (const QString &name : r.written)
        EXPECT_EQ(to.file(QStringLiteral("sdb"), name), from.file(QStringLiteral("sda"), name)) << name.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(to.drive(QStringLiteral("sdb"))).filePath(QStringLiteral("smartlog-01-error.bin"))));
}

TEST(PageRecorder, NvmePagesRoundTripAndUnreadableDrives)
{
    RecordedSet from, to;
    from.copyQemuNvme(QStringLiteral("nvme0n1"));
    QByteArray id = readData(QStringLiteral("nvme-qemu/nvme0-id-ctrl.bin"));
    id[262] = 1; // two error entries kept
    from.put(QStringLiteral("nvme0n1"), QStringLiteral("nvme-id-ctrl.bin"), id);
    RecordedNvme nvme(from.drive(QStringLiteral("nvme0n1")));

    const PageRecording r = recordNvmePages(nvme, to.drive(QStringLiteral("nvme0n1")));
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.written.size(), 4);
    EXPECT_EQ(to.file(QStringLiteral("nvme0n1"), QStringLiteral("nvme-id-ctrl.bin")), id);
    EXPECT_EQ(to.file(QStringLiteral("nvme0n1"), QStringLiteral("nvme-log01-error.bin")).size(), 128);

    // Reading the copy gives what reading the original gave.
    RecordedNvme copy(to.drive(QStringLiteral("nvme0n1")));
    std::vector<uint8_t> a(512), b(512);
    ASSERT_EQ(nvme.smartReadData(a), 0);
    ASSERT_EQ(copy.smartReadData(b), 0);
    EXPECT_EQ(a, b);

    ASSERT_TRUE(recordUnreadable(to.drive(QStringLiteral("nvme1n1")), statusFromErrno(EACCES)));
    int32_t status = 0;
    EXPECT_EQ(recordedNvmeOpener(to.path())(QStringLiteral("nvme1n1"), status), nullptr);
    EXPECT_EQ(status, statusFromErrno(EACCES));
    ASSERT_TRUE(recordUnreadable(to.drive(QStringLiteral("sdc")), kStatusTimeout));
    EXPECT_EQ(to.file(QStringLiteral("sdc"), QStringLiteral("unreadable")), "EIO\n");
}
