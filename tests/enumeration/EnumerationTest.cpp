// SPDX-License-Identifier: GPL-3.0-or-later
// Registry trees, drive selection and the settings record: over a hand-written
// tree of edge cases and over captured udev folders built into the registry the
// way a real machine's would be.
#include "TestData.h"
#include "drive/DriveEnumerator.h"
#include "drive/KernelNameOrder.h"
#include "platform/linux/UdevRegistry.h"
#include "platform/recorded/RecordedRegistry.h"
#include "support/Fields.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::expectFields;

namespace {

QStringList volumeNames(const QVariantMap &settings)
{
    QStringList names;
    for (const QVariant &v : settings.value("volumes").toList())
        names << v.toMap().value("name").toString();
    return names;
}

class Enumeration : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(registry) << qPrintable(error); }
    QString error;
    std::unique_ptr<TreeRegistry> registry = openRecordedRegistry(test::dataPath("registry/edge-cases"), &error);
    DriveEnumerator e{*registry};
    const DriveInformation &d = e.driveInformation();
};

// A captured folder under tests/data/udev/, enumerated.
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
        const RegistryEntry e = registry->serviceNamed(kernelName);
        return e.isNull() ? QVariantMap() : registry->diskDescription(e).value_or(QVariantMap());
    }
    QString leftOutReason(const QString &kernelName) const
    {
        const auto &all = enumerator->leftOut();
        const auto it = std::find_if(all.begin(), all.end(), [&](const auto &l) { return l.bsdName == kernelName; });
        return it == all.end() ? QString() : it->reason;
    }
    std::unique_ptr<TreeRegistry> registry;
    std::unique_ptr<DriveEnumerator> enumerator;
    DriveInformation drives;
};

QString parseError(const char *json)
{
    QString error;
    EXPECT_EQ(parseRecordedRegistry(json, &error), nullptr) << json;
    return error;
}

const char *kSmallTree = R"({"version": 1, "entries": [
  {"id": "sda1", "parent": "sda", "properties": {"BSD Name": "sda1"}, "description": {"DAVolumeName": "data"}},
  {"id": "pci", "properties": {"Subsystem": "pci", "Deep": {"Nested": {"Value": 7}}}},
  {"id": "ata1", "parent": "pci", "properties": {"SMART Capable": true}},
  {"id": "sda", "name": "disk-a", "parent": "ata1", "properties": {"Whole": true}, "description": {"DAMediaSize": 500107862016}},
  {"id": "sda2", "parent": "sda", "properties": {}},
  {"id": "sda1x", "parent": "sda1", "properties": {}}
]})";

} // namespace

TEST_F(Enumeration, ListsSmartCapableMediaBuildsTheirRecordsAndCachesThem)
{
    // sdb: "SMART Capable" present but false; sdc: APFS content; sdi: no description.
    EXPECT_EQ(e.sortedBSDNames(), (QStringList{"nvme0n1", "nvme1n1", "sda", "sde", "sdf", "sdh", "sdj", "sdk"}));
    EXPECT_EQ(d.size(), 8);
    QStringList leftOut;
    for (const auto &l : e.leftOut()) {
        leftOut << l.bsdName;
        EXPECT_FALSE(l.reason.isEmpty());
    }
    EXPECT_EQ(leftOut, (QStringList{"sdb", "sdc", "sdi"}));
    for (const QVariantMap &s : d)
        EXPECT_EQ(s.size(), 17) << qPrintable(s.value("bsdName").toString());
    // The nearest SMART-announcing ancestor decides; on one entry "SMART Capable" wins.
    EXPECT_TRUE(d["nvme1n1"]["isNVMe"].toBool());
    EXPECT_FALSE(d["sdh"]["isNVMe"].toBool());
    EXPECT_TRUE(d["nvme0n1"]["isNVMe"].toBool());
    EXPECT_EQ(d["sdj"]["scheme"], "Unformatted");
    EXPECT_EQ(d["sdj"]["Loc-Con"], "  - Slot 2"); // a text location, NULs trimmed
    EXPECT_EQ(d["sde"]["scheme"], "Master Boot Record");
    EXPECT_EQ(d["sdf"]["scheme"], "Apple Partition Map");

    // The settings record.
    const QVariantMap a = d["sda"];
    // No device location: Loc-Con ends in a blank; rotational without a rate.
    expectFields(a, {{"bsdName", "sda"}, {"User Capacity", 500107862016LL}, {"sectorSizeStr", "4096 bytes physical"},
                     {"Loc-Con", "Internal SATA "}, {"Drive Type", "HDD "}, {"Serial Number", "S-A"},
                     {"Device Model", "Disk A"}, {"Firmware Version", "F1"}, {"nvmeRevSupported", ""},
                     {"location", "Internal"}, {"diskIcon", "drive-harddisk"}, {"diskIconDict", ""},
                     {"scheme", "GUID Partition Map"}});
    // Skipped: EFI content, "Recovery HD", OS update media, not mountable, basic data
    // without a name (empty or absent), "Preboot", no description.
    EXPECT_EQ(volumeNames(a), (QStringList{"Data", "no content", "Striped Set"}));
    const QVariantList volumes = a["volumes"].toList();
    EXPECT_EQ(volumes[1].toMap()["content"], ""); // absent content becomes the empty string
    EXPECT_EQ(volumes[2].toMap()["content"], "FA709C7E-65B1-4593-BFD5-E71D61DE9B02");

    const QVariantMap n = d["nvme0n1"];
    // An empty identification model falls back to the media name.
    expectFields(n, {{"Loc-Con", "External Thunderbolt"}, {"Drive Type", "SSD "}, {"Device Model", "Fallback Name"},
                     {"nvmeRevSupported", "1.4"}, {"location", "External"}, {"diskIcon", "drive-harddisk-usb"}});
    EXPECT_EQ(n["diskIconDict"].toMap().value("IOBundleResourceFile"), "x.icns");
    EXPECT_EQ(n["volumes"].toList().size(), 0);
    expectFields(d["sdk"], {{"Drive Type", "HDD 5400 rpm"}, {"Loc-Con", "External USB "},
                            {"diskIcon", "drive-removable-media"}, {"location", "External"}});
    // Drives without a description value carry empty strings or zero, never absent keys.
    expectFields(d["sdh"], {{"Device Model", ""}, {"Drive Type", ""}, {"Loc-Con", "  "}, {"User Capacity", 0},
                            {"diskMfgLogo", ""}});

    // k-port has a model but no serial: the walk goes on to k-dev and reads only it.
    expectFields(d["sdk"], {{"Device Model", "K Model"}, {"Firmware Version", "KREV"}, {"Serial Number", "KSER"}});
    // Vendor not in the model: prefixed (blank padding trimmed first); already in it
    // in another letter case: unchanged.
    EXPECT_EQ(d["sde"]["Device Model"], "Seagate ST2000");
    EXPECT_EQ(d["sdf"]["Device Model"], "WDC WD10");
    const QVariantMap ident = e.deviceIdentification(registry->entryForId("sde"));
    EXPECT_EQ(ident.keys(), (QStringList{"model", "nvmerev", "rev", "serial", "vendor"}));
    EXPECT_EQ(ident["vendor"], "Seagate");
    // A medium without parents has an empty record.
    const QVariantMap none = e.deviceIdentification(registry->entryForId("pci"));
    EXPECT_EQ(none.size(), 5);
    for (const QVariant &v : none)
        EXPECT_EQ(v.toString(), "");

    // Cache and lookups, from a fresh enumerator.
    DriveEnumerator c(*registry);
    EXPECT_TRUE(c.cache().isEmpty());
    // A miss on an empty cache enumerates once.
    ASSERT_TRUE(c.settingsForBSDName("/dev/sda"));
    EXPECT_EQ(c.enumerationCount(), 1);
    EXPECT_EQ(c.settingsForBSDName("sda")->value("bsdName"), "sda");
    EXPECT_EQ(c.settingsForBSDName("/dev/sde/")->value("bsdName"), "sde");
    EXPECT_EQ(c.enumerationCount(), 1);
    // An unknown name runs exactly one more enumeration, then gives up.
    EXPECT_FALSE(c.settingsForBSDName("/dev/sdzz"));
    EXPECT_EQ(c.enumerationCount(), 2);
    EXPECT_FALSE(c.deviceWithBSDName("sdb"));
    EXPECT_EQ(c.enumerationCount(), 3);

    auto device = c.deviceWithBSDName("nvme0n1");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->driveProperties(), *c.settingsForBSDName("nvme0n1"));
    EXPECT_FALSE(device->driveProperties().contains("attributeHealth"));

    // Each run builds a fresh cache with exactly the drives found.
    const QVariantMap before = c.cache()["sda"];
    c.driveInformation();
    EXPECT_EQ(c.cache().size(), 8);
    EXPECT_EQ(c.cache()["sda"], before);

    // Device location bytes lose their NULs.
    std::vector<RegistryNode> nodes(3);
    nodes[0] = {"ctl", "ctl", -1,
                {{"SMART Capable", true},
                 {"io-device-location", QByteArray("\0Bay 3\0\0", 8)},
                 {"Protocol Characteristics", QVariantMap{{"Physical Interconnect", "SATA"},
                                                          {"Physical Interconnect Location", "Internal"}}}},
                std::nullopt};
    nodes[1] = {"sda", "sda", 0, {{"Whole", true}}, QVariantMap{{"DAMediaBSDName", "sda"}, {"DAMediaContent", ""}}};
    // Undecodable bytes give no location rather than garbage.
    nodes[2] = {"sdb", "sdb", 0, {{"Whole", true}, {"io-device-location", QByteArray("\xff\xfe", 2)}},
                QVariantMap{{"DAMediaBSDName", "sdb"}, {"DAMediaContent", ""}}};
    auto located = TreeRegistry::create(std::move(nodes));
    ASSERT_TRUE(located);
    DriveEnumerator l(*located);
    EXPECT_EQ(l.driveInformation()["sda"]["Loc-Con"], "Internal SATA - Bay 3");
    EXPECT_EQ(l.cache()["sdb"]["Loc-Con"], "Internal SATA ");
}

TEST(KernelNameOrder, SortsAsUsersReadThem)
{
    EXPECT_EQ(sortedKernelNames({"sdaa", "sdb", "sdz", "sda"}), (QStringList{"sda", "sdb", "sdz", "sdaa"}));
    EXPECT_EQ(sortedKernelNames({"nvme10n1", "nvme1n1", "nvme0n1", "nvme1n2"}),
              (QStringList{"nvme0n1", "nvme1n1", "nvme1n2", "nvme10n1"}));
    EXPECT_EQ(sortedKernelNames({"sda10", "sda2", "sda1", "sda"}), (QStringList{"sda", "sda1", "sda2", "sda10"}));
    EXPECT_EQ(sortedKernelNames({"vdb", "vda", "xvdaa", "xvdb"}), (QStringList{"vda", "vdb", "xvdb", "xvdaa"}));
    // Paths sort by their last component the same way.
    EXPECT_TRUE(kernelNameLess("/dev/sdz", "/dev/sdaa"));
    // Equal numbers written differently still order one way only.
    EXPECT_NE(kernelNameLess("sd01", "sd1"), kernelNameLess("sd1", "sd01"));
    EXPECT_FALSE(kernelNameLess("sda", "sda"));
    EXPECT_FALSE(kernelNameLess("", ""));
    EXPECT_TRUE(kernelNameLess("", "sda"));
    // A number too long for 64 bits saturates rather than wrapping to a small value.
    EXPECT_TRUE(kernelNameLess("disk5", "disk99999999999999999999999999"));
    EXPECT_TRUE(kernelNameLess("sdzz", "sdzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"));
    EXPECT_FALSE(kernelNameLess("sdzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", "sdzz"));
    const QStringList mixed = sortedKernelNames({"zram0", "nvme0n1", "sda", "disk2", "disk10", "ö1", "a-b"});
    EXPECT_EQ(mixed.size(), 7);
    EXPECT_LT(mixed.indexOf("disk2"), mixed.indexOf("disk10"));
}

TEST(UdevRegistry, CapturedMachines)
{
    Captured libata("libata");
    EXPECT_EQ(libata.enumerator->sortedBSDNames(), QStringList{"sda"});
    // ata_id's full IDENTIFY strings, not the 16-character SCSI inquiry copy.
    expectFields(libata.drives["sda"], {{"Device Model", "Samsung SSD 860 EVO 500GB"}, {"Firmware Version", "RVT04B6Q"},
                                        {"Serial Number", "S3Z2NB0K123456A"}, {"isNVMe", false}, {"Drive Type", "SSD "},
                                        {"Loc-Con", "Internal SATA "}, {"User Capacity", 976773168LL * 512},
                                        {"scheme", "GUID Partition Map"}, {"location", "Internal"}});
    // The EFI partition is hidden; the mounted root has no label and "/" has no last component.
    EXPECT_EQ(volumeNames(libata.drives["sda"]), QStringList{""});
    // libata's "ATA" vendor is not a maker.
    EXPECT_EQ(libata.enumerator->deviceIdentification(libata.registry->serviceNamed("sda"))["vendor"], "");
    // A disk whose IDENTIFY says SMART is not supported: present but false.
    EXPECT_EQ(libata.registry->searchProperty(libata.registry->serviceNamed("sdb"), "SMART Capable"), QVariant(false));
    EXPECT_FALSE(libata.leftOutReason("sdb").isEmpty());
    // Optical, loop, zram, device-mapper and md devices are not media at all.
    for (const char *name : {"sr0", "loop0", "zram0", "dm-0", "md127"})
        EXPECT_TRUE(libata.registry->serviceNamed(name).isNull()) << name;
    EXPECT_EQ(libata.enumerator->leftOut().size(), 1);

    Captured nvme("nvme");
    EXPECT_EQ(nvme.enumerator->sortedBSDNames(), (QStringList{"nvme0n1", "nvme1n1", "nvme2n1"}));
    expectFields(nvme.drives["nvme0n1"], {{"isNVMe", true}, {"Device Model", "Samsung SSD 970 EVO Plus 1TB"},
                                          {"Serial Number", "S4EWNX0R123456K"}, {"Firmware Version", "2B2QEXM7"},
                                          {"Loc-Con", "Internal PCI-Express "}, {"Drive Type", "SSD "}});
    // Hidden: EFI, the Microsoft reserved partition (no file system); the root has no name.
    EXPECT_EQ(volumeNames(nvme.drives["nvme0n1"]), (QStringList{"Windows", ""}));
    EXPECT_EQ(nvme.drives["nvme0n1"]["volumes"].toList()[0].toMap()["content"], "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    // Behind a Thunderbolt bridge: external, and said so.
    expectFields(nvme.drives["nvme1n1"], {{"Loc-Con", "External Thunderbolt"}, {"location", "External"},
                                          {"diskIcon", "drive-harddisk-usb"}});
    EXPECT_EQ(volumeNames(nvme.drives["nvme1n1"]), QStringList{"TB Backup"});
    // A namespace under a multipath subsystem, 4 KiB blocks, no partition table.
    expectFields(nvme.drives["nvme2n1"], {{"isNVMe", true}, {"Device Model", "INTEL SSDPF2KX038TZ"},
                                          {"sectorSizeStr", "4096 bytes physical"}, {"scheme", "Unformatted"}});

    Captured usb("usb-sata");
    EXPECT_EQ(usb.enumerator->sortedBSDNames(), QStringList{"sdb"});
    // ata_id's rotation rate beats the bridge's rotational flag.
    expectFields(usb.drives["sdb"], {{"isNVMe", false}, {"Device Model", "Samsung SSD 870 EVO 1TB"},
                                     {"Loc-Con", "External USB "}, {"Drive Type", "SSD "}, {"location", "External"},
                                     {"diskIcon", "drive-harddisk-usb"}});
    EXPECT_EQ(volumeNames(usb.drives["sdb"]), QStringList{"Archive"});
    // The stick answers no ATA commands: its maker is a real vendor, and it is left out.
    EXPECT_TRUE(usb.leftOutReason("sdc").contains("USB")) << qPrintable(usb.leftOutReason("sdc"));
    EXPECT_EQ(usb.enumerator->deviceIdentification(usb.registry->serviceNamed("sdc"))["model"], "SanDisk Cruzer Blade");
    EXPECT_EQ(usb.description("sdc")["DAMediaRemovable"], true);
    EXPECT_EQ(usb.description("sdc1")["DAMediaContent"], "0x0c");

    Captured gpt("gpt-mbr");
    // sdd carries an Atari partition table, which is not a listed scheme.
    EXPECT_EQ(gpt.enumerator->sortedBSDNames(), (QStringList{"sda", "sdb", "sdc"}));
    EXPECT_TRUE(gpt.leftOutReason("sdd").contains("atari"));
    // GPT: EFI hidden, unnamed basic data hidden, swap not mountable, reserved partition without file system.
    EXPECT_EQ(volumeNames(gpt.drives["sda"]), (QStringList{"Data Drive", "home"}));
    EXPECT_EQ(gpt.drives["sda"]["Drive Type"], "HDD 7200 rpm");
    EXPECT_EQ(gpt.description("sda5")["DAMediaContent"], "0FC63DAF-8483-4772-8E79-3D69D8477DE4");
    EXPECT_EQ(gpt.description("sda1")["DAMediaName"], "EFI System");
    // MBR: the extended partition is no volume; the unlabelled one is named after its mount point.
    EXPECT_EQ(gpt.drives["sdb"]["scheme"], "Master Boot Record");
    EXPECT_EQ(volumeNames(gpt.drives["sdb"]), (QStringList{"Backup", "my photos", "CAMERA"}));
    const QVariantList mbr = gpt.drives["sdb"]["volumes"].toList();
    EXPECT_EQ(mbr[0].toMap()["content"], "0x07");
    EXPECT_EQ(mbr[1].toMap()["content"], "0x83");
    EXPECT_EQ(gpt.description("sdb5")["DAVolumePath"], "/media/anna/my photos");
    EXPECT_EQ(gpt.description("sdb2")["DAVolumeMountable"], false);
    // A parallel-ATA disk on libata, an LVM member on the whole disk.
    EXPECT_EQ(gpt.drives["sdb"]["Loc-Con"], "Internal ATA ");
    EXPECT_EQ(gpt.drives["sdc"]["scheme"], "Unformatted");
    EXPECT_TRUE(gpt.drives["sdc"]["volumes"].toList().isEmpty());

    // Captured from a QEMU guest without a udev daemon: sysfs attributes only.
    Captured virtio("virtio");
    EXPECT_TRUE(virtio.drives.isEmpty());
    ASSERT_EQ(virtio.enumerator->leftOut().size(), 1);
    EXPECT_EQ(virtio.enumerator->leftOut().first().bsdName, "vda");
    EXPECT_TRUE(virtio.leftOutReason("vda").contains("Virtual Interface"));
    EXPECT_EQ(virtio.description("vda")["DAVolumePath"], "/");
    EXPECT_EQ(virtio.description("vda")["DAMediaBlockSize"], 4096); // physical, not the logical 512
}

TEST(UdevRegistry, CaptureRoundTripBadFoldersNamesAndThisMachine)
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
    for (const auto &[content, why] : {std::pair{"{\"devices\": [", "not valid JSON"}, std::pair{"{\"devices\": 5}", ""},
                                       std::pair{"{\"devices\": [{\"subsystem\": \"block\"}]}", "syspath"},
                                       std::pair{"{\"devices\": [{\"syspath\": \"/sys/x\", \"attributes\": {\"size\": 5}}]}", ""}}) {
        ASSERT_TRUE(test::writeFile(dir.filePath("devices.json"), content));
        EXPECT_FALSE(CapturedDeviceSource::open(dir.path(), &error)) << content;
        EXPECT_TRUE(error.contains(QLatin1String(why))) << qPrintable(error);
    }

    // Parents that loop, a disk whose parent was never captured, garbage sizes and mount table.
    Captured broken("broken");
    const auto &registry = broken.registry;
    const RegistryEntry sdq1 = registry->serviceNamed("sdq1");
    ASSERT_FALSE(sdq1.isNull());
    EXPECT_EQ(registry->diskDescription(sdq1)->value("DAMediaContent"), "0xzz");
    EXPECT_EQ(registry->diskDescription(sdq1)->value("DAVolumeName"), "a\\x2");

    // Kernel names and udev escapes.
    for (const char *name : {"sda", "nvme0n1", "hda", "vda", "mmcblk0", "xvda"})
        EXPECT_TRUE(isDriveKernelName(name)) << name;
    for (const char *name : {"loop0", "ram1", "zram0", "dm-3", "md0", "md127", "sr0", "fd0", "nbd2", "mmcblk0boot1", ""})
        EXPECT_FALSE(isDriveKernelName(name)) << name;
    EXPECT_EQ(decodeUdevString("My\\x20Disk\\x20\\xc3\\xa9"), QString::fromUtf8("My Disk \xc3\xa9"));
    EXPECT_EQ(decodeUdevString("tail\\x"), "tail\\x");
    EXPECT_EQ(decodeUdevString("bad\\xZZ"), "bad\\xZZ");

    // The libudev path itself: no privileges needed, whatever the machine holds.
    auto system = openSystemRegistry();
    ASSERT_TRUE(system);
    DriveEnumerator e(*system);
    e.driveInformation();
    for (const QVariantMap &s : e.cache())
        EXPECT_EQ(s.size(), 17);
}

TEST(RecordedRegistry, ServesItsTreeRejectsBadInputAndOpensFolders)
{
    auto registry = parseRecordedRegistry(kSmallTree, nullptr);
    auto other = parseRecordedRegistry(kSmallTree, nullptr);
    ASSERT_TRUE(registry && other);
    const QList<RegistryEntry> whole = registry->matchingServices({{"Whole", true}});
    ASSERT_EQ(whole.size(), 1);
    const RegistryEntry sda = whole.first();
    EXPECT_EQ(registry->name(sda), "disk-a");
    EXPECT_EQ(registry->diskDescription(sda)->value("DAMediaSize").toLongLong(), 500107862016LL);

    // Parent steps end with a null handle at the root.
    RegistryEntry e = registry->parentEntry(sda);
    EXPECT_EQ(registry->name(e), "ata1");
    e = registry->parentEntry(registry->parentEntry(e));
    EXPECT_TRUE(e.isNull());
    EXPECT_TRUE(registry->parentEntry(RegistryEntry()).isNull());

    // Searches go through parents; nested dictionaries survive.
    EXPECT_TRUE(registry->searchProperty(sda, "SMART Capable").toBool());
    EXPECT_EQ(registry->searchProperty(sda, "Deep").toMap().value("Nested").toMap().value("Value").toInt(), 7);
    EXPECT_FALSE(registry->searchProperty(sda, "Absent").isValid());

    // Descendants: depth first, children in file order, grandchildren included.
    QStringList names;
    for (const RegistryEntry &d : registry->descendants(sda))
        names << registry->name(d);
    EXPECT_EQ(names, (QStringList{"sda1", "sda1x", "sda2"}));
    EXPECT_FALSE(registry->diskDescription(registry->serviceNamed("sda2")).has_value());
    EXPECT_EQ(registry->diskDescription(registry->serviceNamed("sda1"))->value("DAVolumeName"), "data");
    EXPECT_TRUE(registry->serviceNamed("nothing").isNull());

    // It round-trips through its own writer.
    const QByteArray written = recordedRegistryJson(*registry);
    auto again = parseRecordedRegistry(written, nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ(recordedRegistryJson(*again), written);
    EXPECT_EQ(again->name(again->parentEntry(again->serviceNamed("sda1x"))), "sda1"); // a child of the first entry
    EXPECT_EQ(again->nodes().size(), registry->nodes().size());

    // Another tree must not answer for a handle it did not give out; handles outlive their tree.
    RegistryEntry kept = registry->serviceNamed("sda1");
    EXPECT_TRUE(other->properties(kept).isEmpty());
    EXPECT_TRUE(other->parentEntry(kept).isNull());
    registry.reset();
    EXPECT_FALSE(kept.isNull()); // still a valid (released-later) handle, no dangling tree
    kept.release();
    EXPECT_TRUE(kept.isNull());

    // Bad input gets a clear message.
    EXPECT_TRUE(parseError("{\"entries\": [").contains("not valid JSON"));
    EXPECT_TRUE(parseError("[1, 2]").contains("top level"));
    EXPECT_TRUE(parseError("{}").contains("\"entries\" must be an array"));
    EXPECT_TRUE(parseError("{\"version\": 99, \"entries\": []}").contains("version"));
    EXPECT_TRUE(parseError("{\"entries\": [7]}").contains("entry 0: must be an object"));
    EXPECT_TRUE(parseError("{\"entries\": [{}]}").contains("\"id\""));
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"\"}]}").contains("\"id\""));
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"a\"}, {\"id\": \"a\"}]}").contains("duplicate"));
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"a\", \"parent\": 1}]}").contains("\"parent\""));
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"a\", \"parent\": \"zz\"}]}").contains("does not exist"));
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"a\", \"properties\": []}]}").contains("\"properties\""));
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"a\", \"description\": \"x\"}]}").contains("\"description\""));
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"a\", \"name\": false}]}").contains("\"name\""));
    // Cycles, including an entry that is its own parent.
    EXPECT_TRUE(parseError("{\"entries\": [{\"id\": \"a\", \"parent\": \"a\"}]}").contains("parent"));
    EXPECT_TRUE(parseError(R"({"entries": [{"id": "a", "parent": "c"}, {"id": "b", "parent": "a"},
                                            {"id": "c", "parent": "b"}]})").contains("cycle"));
    // An empty tree is valid: a machine without disks.
    EXPECT_TRUE(parseRecordedRegistry("{\"entries\": []}", nullptr));

    // Folders and files.
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(openRecordedRegistry(dir.path(), &error));
    EXPECT_TRUE(error.contains("no registry.json")) << qPrintable(error);
    EXPECT_FALSE(openRecordedRegistry(dir.filePath("missing"), &error));
    EXPECT_TRUE(error.contains("no such file")) << qPrintable(error);

    ASSERT_TRUE(test::writeFile(dir.filePath("registry.json"), "{\"entries\": [{\"id\": \"a\", \"parent\": \"b\"}, {\"id\": \"b\", \"parent\": \"a\"}]}"));
    EXPECT_FALSE(openRecordedRegistry(dir.path(), &error));
    EXPECT_TRUE(error.startsWith(dir.filePath("registry.json"))) << qPrintable(error);
    EXPECT_TRUE(error.contains("cycle")) << qPrintable(error);

    const QString demo = QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo");
    EXPECT_TRUE(openRecordedRegistry(demo, &error)) << qPrintable(error);
    EXPECT_TRUE(openRecordedRegistry(demo + "/registry.json", &error));
    EXPECT_EQ(recordedSetFolder(demo + "/registry.json"), QDir(demo).absolutePath());
    EXPECT_TRUE(QFile::exists(recordedDriveFolder(demo, "sda") + "/identify.bin"));
    EXPECT_TRUE(QFile::exists(recordedDriveFolder(demo + "/registry.json", "nvme1n1") + "/nvme-id-ctrl.bin"));
    for (const char *name : {"", ".", "..", "../sda", "a/b", "a\\b"})
        EXPECT_EQ(recordedDriveFolder(demo, name), "") << name;
}
