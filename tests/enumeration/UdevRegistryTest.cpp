// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveEnumerator.h"
#include "platform/linux/UdevRegistry.h"
#include "platform/recorded/RecordedRegistry.h"

#include "TestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

// A captured folder under tests/data/udev/ turned into a registry the way a
// real machine's would be.
struct Captured
{
    explicit Captured(const char *name)
    {
        QString error;
        auto source = CapturedDeviceSource::open(test::dataPath(QStringLiteral("udev/") + QLatin1String(name)), &error);
        EXPECT_TRUE(source) << qPrintable(error);
        registry = source ? buildUdevRegistry(*source) : TreeRegistry::create({});
        enumerator = std::make_unique<DriveEnumerator>(*registry);
        drives = enumerator->driveInformation();
    }
    QVariantMap description(const QString &kernelName) const
    {
        for (const RegistryNode &n : registry->nodes()) {
            if (n.name == kernelName && n.description)
                return *n.description;
        }
        return {};
    }
    QString leftOutReason(const QString &kernelName) const
    {
        for (const auto &l : enumerator->leftOut()) {
            if (l.bsdName == kernelName)
                return l.reason;
        }
        return {};
    }
    std::unique_ptr<TreeRegistry> registry;
    std::unique_ptr<DriveEnumerator> enumerator;
    DriveInformation drives;
};

QStringList volumeNames(const QVariantMap &settings)
{
    QStringList names;
    for (const QVariant &v : settings.value("volumes").toList())
        names << v.toMap().value("name").toString();
    return names;
}

} // namespace

TEST(UdevRegistry, LibataDisk)
{
    Captured c("libata");
    EXPECT_EQ(c.enumerator->sortedBSDNames(), QStringList{"sda"});
    const QVariantMap sda = c.drives["sda"];
    // ata_id's full IDENTIFY strings, not the 16-character SCSI inquiry copy.
    EXPECT_EQ(sda["Device Model"], "Samsung SSD 860 EVO 500GB");
    EXPECT_EQ(sda["Firmware Version"], "RVT04B6Q");
    EXPECT_EQ(sda["Serial Number"], "S3Z2NB0K123456A");
    EXPECT_FALSE(sda["isNVMe"].toBool());
    EXPECT_EQ(sda["Drive Type"], "SSD ");
    EXPECT_EQ(sda["Loc-Con"], "Internal SATA ");
    EXPECT_EQ(sda["User Capacity"].toLongLong(), 976773168LL * 512);
    EXPECT_EQ(sda["scheme"], "GUID Partition Map");
    EXPECT_EQ(sda["location"], "Internal");
    // The EFI partition is hidden; the mounted root has no label and "/" has no last component.
    EXPECT_EQ(volumeNames(sda), QStringList{""});
    // libata's "ATA" vendor is not a maker.
    EXPECT_EQ(c.enumerator->deviceIdentification(c.registry->serviceNamed("sda"))["vendor"], "");
    // A disk whose IDENTIFY says SMART is not supported: present but false.
    EXPECT_EQ(c.registry->searchProperty(c.registry->serviceNamed("sdb"), "SMART Capable"), QVariant(false));
    EXPECT_FALSE(c.leftOutReason("sdb").isEmpty());
    // Optical, loop, zram, device-mapper and md devices are not media at all.
    for (const char *name : {"sr0", "loop0", "zram0", "dm-0", "md127"})
        EXPECT_TRUE(c.registry->serviceNamed(name).isNull()) << name;
    EXPECT_EQ(c.enumerator->leftOut().size(), 1);
}

TEST(UdevRegistry, NvmeDrives)
{
    Captured c("nvme");
    EXPECT_EQ(c.enumerator->sortedBSDNames(), (QStringList{"nvme0n1", "nvme1n1", "nvme2n1"}));
    const QVariantMap n0 = c.drives["nvme0n1"];
    EXPECT_TRUE(n0["isNVMe"].toBool());
    EXPECT_EQ(n0["Device Model"], "Samsung SSD 970 EVO Plus 1TB");
    EXPECT_EQ(n0["Serial Number"], "S4EWNX0R123456K");
    EXPECT_EQ(n0["Firmware Version"], "2B2QEXM7");
    EXPECT_EQ(n0["Loc-Con"], "Internal PCI-Express ");
    EXPECT_EQ(n0["Drive Type"], "SSD ");
    // Hidden: EFI, the Microsoft reserved partition (no file system); the root has no name.
    EXPECT_EQ(volumeNames(n0), (QStringList{"Windows", ""}));
    const QVariantList volumes = n0["volumes"].toList();
    EXPECT_EQ(volumes[0].toMap()["content"], "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");

    // Behind a Thunderbolt bridge: external, and said so.
    const QVariantMap n1 = c.drives["nvme1n1"];
    EXPECT_EQ(n1["Loc-Con"], "External Thunderbolt");
    EXPECT_EQ(n1["location"], "External");
    EXPECT_EQ(n1["diskIcon"], "drive-harddisk-usb");
    EXPECT_EQ(volumeNames(n1), QStringList{"TB Backup"});

    // A namespace under a multipath subsystem, 4 KiB blocks, no partition table.
    const QVariantMap n2 = c.drives["nvme2n1"];
    EXPECT_TRUE(n2["isNVMe"].toBool());
    EXPECT_EQ(n2["Device Model"], "INTEL SSDPF2KX038TZ");
    EXPECT_EQ(n2["sectorSizeStr"], "4096 bytes physical");
    EXPECT_EQ(n2["scheme"], "Unformatted");
}

TEST(UdevRegistry, UsbSataBridgeAndStick)
{
    Captured c("usb-sata");
    EXPECT_EQ(c.enumerator->sortedBSDNames(), QStringList{"sdb"});
    const QVariantMap sdb = c.drives["sdb"];
    EXPECT_FALSE(sdb["isNVMe"].toBool());
    EXPECT_EQ(sdb["Device Model"], "Samsung SSD 870 EVO 1TB");
    EXPECT_EQ(sdb["Loc-Con"], "External USB ");
    EXPECT_EQ(sdb["Drive Type"], "SSD "); // ata_id's rotation rate beats the bridge's rotational flag
    EXPECT_EQ(sdb["location"], "External");
    EXPECT_EQ(sdb["diskIcon"], "drive-harddisk-usb");
    EXPECT_EQ(volumeNames(sdb), QStringList{"Archive"});
    // The stick answers no ATA commands: its maker is a real vendor, and it is left out.
    EXPECT_TRUE(c.leftOutReason("sdc").contains("USB")) << qPrintable(c.leftOutReason("sdc"));
    EXPECT_EQ(c.enumerator->deviceIdentification(c.registry->serviceNamed("sdc"))["model"], "SanDisk Cruzer Blade");
    EXPECT_EQ(c.description("sdc")["DAMediaRemovable"], true);
    EXPECT_EQ(c.description("sdc1")["DAMediaContent"], "0x0c");
}

TEST(UdevRegistry, GptAndMbrPartitions)
{
    Captured c("gpt-mbr");
    // sdd carries an Atari partition table, which is not a listed scheme.
    EXPECT_EQ(c.enumerator->sortedBSDNames(), (QStringList{"sda", "sdb", "sdc"}));
    EXPECT_TRUE(c.leftOutReason("sdd").contains("atari"));
    // GPT: EFI hidden, unnamed basic data hidden, swap not mountable, reserved partition without file system.
    EXPECT_EQ(volumeNames(c.drives["sda"]), (QStringList{"Data Drive", "home"}));
    EXPECT_EQ(c.drives["sda"]["Drive Type"], "HDD 7200 rpm");
    EXPECT_EQ(c.description("sda5")["DAMediaContent"], "0FC63DAF-8483-4772-8E79-3D69D8477DE4");
    EXPECT_EQ(c.description("sda1")["DAMediaName"], "EFI System");
    // MBR: the extended partition is no volume; the unlabelled one is named after its mount point.
    EXPECT_EQ(c.drives["sdb"]["scheme"], "Master Boot Record");
    EXPECT_EQ(volumeNames(c.drives["sdb"]), (QStringList{"Backup", "my photos", "CAMERA"}));
    const QVariantList mbr = c.drives["sdb"]["volumes"].toList();
    EXPECT_EQ(mbr[0].toMap()["content"], "0x07");
    EXPECT_EQ(mbr[1].toMap()["content"], "0x83");
    EXPECT_EQ(c.description("sdb5")["DAVolumePath"], "/media/anna/my photos");
    EXPECT_EQ(c.description("sdb2")["DAVolumeMountable"], false);
    // A parallel-ATA disk on libata, an LVM member on the whole disk.
    EXPECT_EQ(c.drives["sdb"]["Loc-Con"], "Internal ATA ");
    EXPECT_EQ(c.drives["sdc"]["scheme"], "Unformatted");
    EXPECT_TRUE(c.drives["sdc"]["volumes"].toList().isEmpty());
}

TEST(UdevRegistry, VirtioDiskOfThisKindOfMachine)
{
    // Captured from a QEMU guest without a udev daemon: sysfs attributes only.
    Captured c("virtio");
    EXPECT_TRUE(c.drives.isEmpty());
    ASSERT_EQ(c.enumerator->leftOut().size(), 1);
    EXPECT_EQ(c.enumerator->leftOut().first().bsdName, "vda");
    EXPECT_TRUE(c.leftOutReason("vda").contains("Virtual Interface"));
    EXPECT_EQ(c.description("vda")["DAVolumePath"], "/");
    EXPECT_EQ(c.description("vda")["DAMediaBlockSize"], 4096); // physical, not the logical 512
}

TEST(UdevRegistry, CaptureRoundTripAndBadFolders)
{
    QString error;
    auto source = CapturedDeviceSource::open(test::dataPath("udev/gpt-mbr"), &error);
    ASSERT_TRUE(source);
    QTemporaryDir dir;
    ASSERT_TRUE(captureDeviceSource(*source, dir.path(), &error)) << qPrintable(error);
    auto again = CapturedDeviceSource::open(dir.path(), &error);
    ASSERT_TRUE(again);
    EXPECT_EQ(recordedRegistryJson(*buildUdevRegistry(*again)), recordedRegistryJson(*buildUdevRegistry(*source)));

    EXPECT_FALSE(CapturedDeviceSource::open(dir.filePath("missing"), &error));
    EXPECT_TRUE(error.contains("devices.json"));
    auto write = [&](const QByteArray &content) {
        QFile f(dir.filePath("devices.json"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    };
    for (const auto &[content, why] : {std::pair{"{\"devices\": [", "not valid JSON"}, std::pair{"{\"devices\": 5}", ""},
                                       std::pair{"{\"devices\": [{\"subsystem\": \"block\"}]}", "syspath"},
                                       std::pair{"{\"devices\": [{\"syspath\": \"/sys/x\", \"attributes\": {\"size\": 5}}]}", ""}}) {
        write(content);
        EXPECT_FALSE(CapturedDeviceSource::open(dir.path(), &error)) << content;
        EXPECT_TRUE(error.contains(QLatin1String(why))) << qPrintable(error);
    }

    // Parents that loop, a disk whose parent was never captured, garbage sizes and mount table.
    write(R"({"devices": [
      {"syspath": "/sys/a", "parent": "/sys/b", "subsystem": "scsi", "attributes": {"vendor": "ATA"}},
      {"syspath": "/sys/b", "parent": "/sys/a", "subsystem": "scsi"},
      {"syspath": "/sys/a/sda", "parent": "/sys/a", "subsystem": "block", "devtype": "disk", "sysname": "sda",
       "attributes": {"size": "lots", "dev": "8:0", "queue/logical_block_size": "-1"}},
      {"syspath": "/sys/z/sdq", "parent": "/sys/z", "subsystem": "block", "devtype": "disk",
       "attributes": {"size": "8"}},
      {"syspath": "/sys/z/sdq/sdq1", "parent": "/sys/z/sdq", "subsystem": "block", "devtype": "partition",
       "properties": {"ID_PART_ENTRY_SCHEME": "dos", "ID_PART_ENTRY_TYPE": "0xzz", "ID_FS_LABEL_ENC": "a\\x2", "ID_FS_USAGE": "filesystem"}}
    ]})");
    QFile mounts(dir.filePath("mountinfo"));
    ASSERT_TRUE(mounts.open(QIODevice::WriteOnly));
    mounts.write("garbage\n1 2 8:0 / /mnt/x\\04\n\n\\\\\\ \n");
    mounts.close();
    auto broken = CapturedDeviceSource::open(dir.path(), &error);
    ASSERT_TRUE(broken) << qPrintable(error);
    auto registry = buildUdevRegistry(*broken);
    ASSERT_TRUE(registry);
    DriveEnumerator e(*registry);
    e.driveInformation(); // must end, whatever it finds
    const RegistryEntry sdq1 = registry->serviceNamed("sdq1");
    ASSERT_FALSE(sdq1.isNull());
    EXPECT_EQ(registry->diskDescription(sdq1)->value("DAMediaContent"), "0xzz");
    EXPECT_EQ(registry->diskDescription(sdq1)->value("DAVolumeName"), "a\\x2");
}

TEST(UdevRegistry, NamesAndEscapes)
{
    for (const char *name : {"sda", "nvme0n1", "hda", "vda", "mmcblk0", "xvda"})
        EXPECT_TRUE(isDriveKernelName(name)) << name;
    for (const char *name : {"loop0", "ram1", "zram0", "dm-3", "md0", "md127", "sr0", "fd0", "nbd2", "mmcblk0boot1", ""})
        EXPECT_FALSE(isDriveKernelName(name)) << name;
    EXPECT_EQ(decodeUdevString("My\\x20Disk\\x20\\xc3\\xa9"), QString::fromUtf8("My Disk \xc3\xa9"));
    EXPECT_EQ(decodeUdevString("tail\\x"), "tail\\x");
    EXPECT_EQ(decodeUdevString("bad\\xZZ"), "bad\\xZZ");
}

TEST(UdevRegistry, ThisMachineCanBeRead)
{
    // The libudev path itself: no privileges needed, whatever the machine holds.
    auto registry = openSystemRegistry();
    ASSERT_TRUE(registry);
    DriveEnumerator e(*registry);
    e.driveInformation();
    for (const QVariantMap &s : e.cache())
        EXPECT_EQ(s.size(), 17);
}
