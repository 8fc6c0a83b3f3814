// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"

TEST(MountInfo, ParseAndRealMountsOfRamDisksAndBlockDevices)
{
    const QByteArray text =
        "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
        "65 22 0:39 / /media/ana/My\\040Disk rw,relatime shared:30 - vfat /dev/sdb1 rw\n"
        "66 22 0:40 / /mnt/back\\134slash\\011tab rw - tmpfs none rw\n"
        "67 22 0:41 / /media/ana/Syst\xc3\xa8me rw - exfat /dev/sdc1 rw\n"
        "garbage line\n"
        "x 22 0:1 / /nope rw - tmpfs none rw\n"
        "68 22 0:42 / relative rw - tmpfs none rw\n"
        "69 22 0:43\n"
        "71 22 0:45 / /not\\777octal rw - tmpfs none rw\n"
        "70 22 0:44 / /trailing\\04\n"
        "\n";
    const QList<MountEntry> entries = parseMountInfo(text);
    QStringList parsed; // the device is what the registry finds a partition's mount by
    for (const MountEntry &e : entries)
        parsed << QStringLiteral("%1 %2 %3 %4").arg(e.mountId).arg(e.device, e.mountPoint, e.fsType);
    EXPECT_EQ(parsed, QStringList({"22 8:2 / ext4", "65 0:39 /media/ana/My Disk vfat", "66 0:40 /mnt/back\\slash\ttab tmpfs",
                                 QString::fromUtf8("67 0:41 /media/ana/Syst\xc3\xa8me exfat"),
                                 "71 0:45 /not\\777octal tmpfs", // no byte has that value
                                 "70 0:44 /trailing\\04 "})); // a cut escape stays as it is; cut before the type
    ASSERT_EQ(entries.size(), 6);

    const auto many = parseMountInfo("30 22 0:5 / /proc rw shared:5 master:2 propagate_from:1 - proc proc rw\n"
                                     "31 22 0:6 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
                                     "32 22 8:17 / /media/u/Data rw - ext4 /dev/sdb1 rw\n");
    ASSERT_EQ(many.size(), 3);
    EXPECT_EQ(many[0].fsType, "proc");
    EXPECT_EQ(QList<bool>({isVolumeMount(many[0]), isVolumeMount(many[2]), isVolumeMount(entries[2]), isVolumeMount(entries[3]),
                           isVolumeMount({1, {}, "/home/u/remote", "fuse.sshfs"}), isVolumeMount({1, {}, "/media/u/Win", "fuseblk"}),
                           isVolumeMount({1, {}, "/media/u/Stick", "vfat"})}),
              QList<bool>({false, true, false, true, false, true, true}));
    EXPECT_EQ(blockLessFileSystems("nodev\tsysfs\n\text4\nnodev\tzonefs2\n\tbtrfs\ngarbage x y\n"),
              (QSet<QString>{"sysfs", "zonefs2"}));

    app();
    MountInfoVolumeEvents missing(nullptr, "/nonexistent/mountinfo");
    EXPECT_FALSE(missing.isWatching());
    missing.rescan();

    // Real mounts, in a mount namespace of this process only.
    if (geteuid() != 0)
        GTEST_SKIP() << "mount events need root (private mount namespace); not run";
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no private mount namespace here: " << strerror(errno);

    QTemporaryDir dir;
    const QString scratch = dir.filePath("scratch"), point = dir.filePath("Data Backup");
    ASSERT_TRUE(QDir().mkpath(scratch));
    ASSERT_TRUE(QDir().mkpath(point));
    MountInfoVolumeEvents events;
    ASSERT_TRUE(events.isWatching());
    QStringList seen;
    QObject::connect(&events, &VolumeEvents::didMount, [&](const QVariantMap &m) { seen << "+" + m.value("NSDevicePath").toString(); });
    QObject::connect(&events, &VolumeEvents::didUnmount, [&](const QVariantMap &m) { seen << "-" + m.value("NSDevicePath").toString(); });

    ASSERT_EQ(mount("corvane-test", scratch.toUtf8(), "tmpfs", 0, "size=64k"), 0) << strerror(errno);
    events.rescan();
    ASSERT_EQ(umount(scratch.toUtf8()), 0) << strerror(errno);
    events.rescan();
    drainEvents();
    EXPECT_TRUE(seen.isEmpty());

    const QString image = dir.filePath("disk.img");
    QProcess tool;
    tool.start("sh", {"-c", QStringLiteral("truncate -s 4M '%1' && mkfs.ext4 -q '%1' && losetup -f --show '%1'").arg(image)});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        GTEST_SKIP() << "no loop device here: " << tool.readAllStandardError().constData();
    const QByteArray loop = tool.readAllStandardOutput().trimmed();
    const bool ok = mount(loop.constData(), point.toUtf8(), "ext4", 0, nullptr) == 0;
    if (ok) {
        ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty(); }));
        ASSERT_EQ(umount(point.toUtf8()), 0) << strerror(errno);
        ASSERT_TRUE(waitUntil([&] { return seen.size() >= 2; }));
        EXPECT_EQ(seen, QStringList({"+" + point, "-" + point}));
    }
    QProcess::execute("losetup", {"-d", QString::fromUtf8(loop)});
    ASSERT_TRUE(ok) << strerror(errno);
}
