// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveEnumerator.h"
#include "platform/recorded/RecordedRegistry.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

// Each drive below stands for one edge case of the selection rules.
const char *kTree = R"({"entries": [
 {"id": "pci"},
 {"id": "ahci", "parent": "pci"},

 {"id": "dev-a", "parent": "ahci", "properties": {"SMART Capable": true, "Serial Number": "  S-A  ",
   "Model": " Disk A ", "Firmware Revision": "F1",
   "Device Characteristics": {"Medium Type": "Rotational"},
   "Protocol Characteristics": {"Physical Interconnect": "SATA", "Physical Interconnect Location": "Internal"}}},
 {"id": "sda", "parent": "dev-a", "properties": {"Whole": true},
   "description": {"DAMediaBSDName": "sda", "DAMediaContent": "GUID_partition_scheme", "DAMediaSize": 500107862016,
     "DAMediaBlockSize": 4096, "DADeviceInternal": true, "DAMediaName": "Disk A Media"}},
 {"id": "sda1", "parent": "sda", "description": {"DAMediaContent": "C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "DAVolumeName": "ESP", "DAVolumeMountable": true}},
 {"id": "sda2", "parent": "sda", "description": {"DAMediaContent": "0FC63DAF-8483-4772-8E79-3D69D8477DE4", "DAVolumeName": "Recovery HD", "DAVolumeMountable": true}},
 {"id": "sda3", "parent": "sda", "description": {"DAMediaContent": "0FC63DAF-8483-4772-8E79-3D69D8477DE4", "DAMediaName": "com.apple.os.update-1234", "DAVolumeName": "x", "DAVolumeMountable": true}},
 {"id": "sda4", "parent": "sda", "description": {"DAMediaContent": "0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "DAVolumeName": "swap", "DAVolumeMountable": false}},
 {"id": "sda5", "parent": "sda", "description": {"DAMediaContent": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "DAVolumeName": "", "DAVolumeMountable": true}},
 {"id": "sda6", "parent": "sda", "description": {"DAMediaContent": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "DAVolumeName": "Data", "DAVolumeMountable": true}},
 {"id": "sda7", "parent": "sda", "description": {"DAVolumeName": "no content", "DAVolumeMountable": true}},
 {"id": "sda8", "parent": "sda", "description": {"DAMediaContent": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "DAVolumeMountable": true}},
 {"id": "sda9", "parent": "sda", "description": {"DAMediaContent": "FA709C7E-65B1-4593-BFD5-E71D61DE9B02", "DAVolumeName": "raw", "DAVolumeMountable": true}},
 {"id": "sda10", "parent": "sda", "description": {"DAMediaContent": "0FC63DAF-8483-4772-8E79-3D69D8477DE4", "DAVolumeName": "Preboot", "DAVolumeMountable": true}},
 {"id": "sda11", "parent": "sda"},
 {"id": "softraid", "name": "SoftRAID_Media", "parent": "pci", "description": {"DAVolumeName": "Striped Set"}},

 {"id": "dev-b", "parent": "ahci", "properties": {"SMART Capable": false, "Serial Number": "S-B"}},
 {"id": "sdb", "parent": "dev-b", "properties": {"Whole": true},
   "description": {"DAMediaBSDName": "sdb", "DAMediaContent": "GUID_partition_scheme", "DADeviceInternal": true}},

 {"id": "dev-c", "parent": "ahci", "properties": {"SMART Capable": true, "Serial Number": "S-C"}},
 {"id": "sdc", "parent": "dev-c", "properties": {"Whole": true},
   "description": {"DAMediaBSDName": "sdc", "DAMediaContent": "EF57347C-0000-11AA-AA11-00306543ECAC"}},
 {"id": "sdc-plain", "parent": "dev-c", "properties": {"Whole": true},
   "description": {"DAMediaBSDName": "sdj", "DAMediaContent": "", "DAMediaSize": 1000}},
 {"id": "sdc-nodesc", "name": "sdi", "parent": "dev-c", "properties": {"Whole": true}},

 {"id": "tb", "parent": "pci", "properties": {"Controller Characteristics": {"Vendor Name": "Thunderbolt"}}},
 {"id": "ctrl-d", "parent": "tb", "properties": {"NVMe SMART Capable": true, "Serial Number": "NV-D", "Model": "",
   "Product Revision Level": "1.0", "NVMe Revision Supported": " 1.4 ",
   "Device Characteristics": {"Medium Type": "Solid State"},
   "Protocol Characteristics": {"Physical Interconnect": "PCI-Express", "Physical Interconnect Location": "External"}}},
 {"id": "nvme0n1", "parent": "ctrl-d", "properties": {"Whole": true},
   "description": {"DAMediaBSDName": "nvme0n1", "DAMediaContent": "GUID_partition_scheme", "DADeviceInternal": false,
     "DAMediaName": "Fallback Name", "DAMediaIcon": {"IOBundleResourceFile": "x.icns"}}},

 {"id": "dev-e", "parent": "ahci", "properties": {"SMART Capable": true, "Serial Number": "S-E", "Vendor Name": " Seagate ", "Model": "ST2000"}},
 {"id": "sde", "parent": "dev-e", "properties": {"Whole": true}, "description": {"DAMediaBSDName": "sde", "DAMediaContent": "FDisk_partition_scheme"}},
 {"id": "dev-f", "parent": "ahci", "properties": {"SMART Capable": true, "Serial Number": "S-F", "Vendor Name": "wdc", "Model": "WDC WD10"}},
 {"id": "sdf", "parent": "dev-f", "properties": {"Whole": true}, "description": {"DAMediaBSDName": "sdf", "DAMediaContent": "Apple_partition_scheme"}},

 {"id": "ata-g", "parent": "ahci", "properties": {"SMART Capable": true}},
 {"id": "ctrl-g", "parent": "ata-g", "properties": {"NVMe SMART Capable": true, "Serial Number": "S-G"}},
 {"id": "nvme1n1", "parent": "ctrl-g", "properties": {"Whole": true}, "description": {"DAMediaBSDName": "nvme1n1", "DAMediaContent": ""}},
 {"id": "both-h", "parent": "ahci", "properties": {"SMART Capable": true, "NVMe SMART Capable": true, "Serial Number": "S-H"}},
 {"id": "sdh", "parent": "both-h", "properties": {"Whole": true}, "description": {"DAMediaBSDName": "sdh", "DAMediaContent": ""}},

 {"id": "k-dev", "parent": "pci", "properties": {"SMART Capable": true, "Serial Number": "KSER", "Model Number": "K Model",
   "Revision": "KREV", "Device Characteristics": {"Medium Type": "Rotational", "Rotation Rate": 5400},
   "Protocol Characteristics": {"Physical Interconnect": "USB", "Physical Interconnect Location": "External"}}},
 {"id": "k-port", "parent": "k-dev", "properties": {"Model": "Port Model"}},
 {"id": "sdk", "parent": "k-port", "properties": {"Whole": true},
   "description": {"DAMediaBSDName": "sdk", "DAMediaContent": "", "DADeviceInternal": 0, "DAMediaRemovable": true}}
]})";

// The tree above, enumerated.
class Enumeration : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(registry) << qPrintable(error); }
    QString error;
    std::unique_ptr<TreeRegistry> registry = parseRecordedRegistry(QByteArray(kTree), &error);
    DriveEnumerator e{*registry};
    const DriveInformation &d = e.driveInformation();
};

QStringList volumeNames(const QVariantMap &settings)
{
    QStringList names;
    for (const QVariant &v : settings.value("volumes").toList())
        names << v.toMap().value("name").toString();
    return names;
}

} // namespace

TEST_F(Enumeration, ListsOnlySmartCapableMediaWithKnownSchemes)
{
    // sdb: "SMART Capable" present but false; sdc: APFS content; sdi: no description.
    EXPECT_EQ(e.sortedBSDNames(), (QStringList{"nvme0n1", "nvme1n1", "sda", "sde", "sdf", "sdh", "sdj", "sdk"}));
    EXPECT_EQ(d.size(), 8);
    QStringList leftOut;
    for (const auto &l : e.leftOut())
        leftOut << l.bsdName;
    EXPECT_EQ(leftOut, (QStringList{"sdb", "sdc", "sdi"}));
    for (const auto &l : e.leftOut())
        EXPECT_FALSE(l.reason.isEmpty());
    for (const QVariantMap &s : d)
        EXPECT_EQ(s.size(), 17) << qPrintable(s.value("bsdName").toString());
    // The nearest SMART-announcing ancestor decides; on one entry "SMART Capable" wins.
    EXPECT_TRUE(d["nvme1n1"]["isNVMe"].toBool());
    EXPECT_FALSE(d["sdh"]["isNVMe"].toBool());
    EXPECT_TRUE(d["nvme0n1"]["isNVMe"].toBool());
    EXPECT_EQ(d["sdj"]["scheme"], "Unformatted");
    EXPECT_EQ(d["sde"]["scheme"], "Master Boot Record");
    EXPECT_EQ(d["sdf"]["scheme"], "Apple Partition Map");
}

TEST_F(Enumeration, BuildsTheSettingsRecord)
{
    const QVariantMap a = d["sda"];
    EXPECT_EQ(a["bsdName"], "sda");
    EXPECT_EQ(a["User Capacity"].toLongLong(), 500107862016LL);
    EXPECT_EQ(a["sectorSizeStr"], "4096 bytes physical");
    EXPECT_EQ(a["Loc-Con"], "Internal SATA "); // no device location: ends in a blank
    EXPECT_EQ(a["Drive Type"], "HDD ");       // rotational, no rate
    EXPECT_EQ(a["Serial Number"], "S-A");
    EXPECT_EQ(a["Device Model"], "Disk A");
    EXPECT_EQ(a["Firmware Version"], "F1");
    EXPECT_EQ(a["nvmeRevSupported"], "");
    EXPECT_EQ(a["location"], "Internal");
    EXPECT_EQ(a["diskIcon"], "drive-harddisk");
    EXPECT_EQ(a["diskIconDict"], "");
    EXPECT_EQ(a["scheme"], "GUID Partition Map");
    // Skipped: EFI content, "Recovery HD", OS update media, not mountable, basic data
    // without a name (empty or absent), "Preboot", no description.
    EXPECT_EQ(volumeNames(a), (QStringList{"Data", "no content", "Striped Set"}));
    const QVariantList volumes = a["volumes"].toList();
    EXPECT_EQ(volumes[1].toMap()["content"], ""); // absent content becomes the empty string
    EXPECT_EQ(volumes[2].toMap()["content"], "FA709C7E-65B1-4593-BFD5-E71D61DE9B02");

    const QVariantMap n = d["nvme0n1"];
    EXPECT_EQ(n["Loc-Con"], "External Thunderbolt");
    EXPECT_EQ(n["Drive Type"], "SSD ");
    EXPECT_EQ(n["Device Model"], "Fallback Name"); // empty identification model
    EXPECT_EQ(n["nvmeRevSupported"], "1.4");
    EXPECT_EQ(n["location"], "External");
    EXPECT_EQ(n["diskIcon"], "drive-harddisk-usb");
    EXPECT_EQ(n["diskIconDict"].toMap().value("IOBundleResourceFile"), "x.icns");
    EXPECT_EQ(n["volumes"].toList().size(), 0);

    const QVariantMap k = d["sdk"];
    EXPECT_EQ(k["Drive Type"], "HDD 5400 rpm");
    EXPECT_EQ(k["Loc-Con"], "External USB ");
    EXPECT_EQ(k["diskIcon"], "drive-removable-media");
    EXPECT_EQ(k["location"], "External");
    // Drives without a description value carry empty strings or zero, never absent keys.
    EXPECT_EQ(d["sdh"]["Device Model"], "");
    EXPECT_EQ(d["sdh"]["Drive Type"], "");
    EXPECT_EQ(d["sdh"]["Loc-Con"], "  ");
    EXPECT_EQ(d["sdh"]["User Capacity"].toLongLong(), 0);
    EXPECT_EQ(d["sdh"]["diskMfgLogo"], "");
}

TEST_F(Enumeration, IdentificationWalksToTheSerialAndAppliesTheVendorRule)
{
    // k-port has a model but no serial: the walk goes on to k-dev and reads only it.
    EXPECT_EQ(d["sdk"]["Device Model"], "K Model");
    EXPECT_EQ(d["sdk"]["Firmware Version"], "KREV");
    EXPECT_EQ(d["sdk"]["Serial Number"], "KSER");
    // Vendor not in the model: prefixed (blank padding trimmed first).
    EXPECT_EQ(d["sde"]["Device Model"], "Seagate ST2000");
    // Vendor already in the model in another letter case: unchanged.
    EXPECT_EQ(d["sdf"]["Device Model"], "WDC WD10");
    const QVariantMap ident = e.deviceIdentification(registry->entryForId("sde"));
    EXPECT_EQ(ident.keys(), (QStringList{"model", "nvmerev", "rev", "serial", "vendor"}));
    EXPECT_EQ(ident["vendor"], "Seagate");
    // A medium without parents has an empty record.
    const QVariantMap none = e.deviceIdentification(registry->entryForId("pci"));
    EXPECT_EQ(none.size(), 5);
    for (const QVariant &v : none)
        EXPECT_EQ(v.toString(), "");
}

TEST(EnumerationNodes, DeviceLocationBytesAreTrimmedOfNuls)
{
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
    auto registry = TreeRegistry::create(std::move(nodes));
    ASSERT_TRUE(registry);
    DriveEnumerator e(*registry);
    EXPECT_EQ(e.driveInformation()["sda"]["Loc-Con"], "Internal SATA - Bay 3");
    EXPECT_EQ(e.cache()["sdb"]["Loc-Con"], "Internal SATA ");
}

TEST_F(Enumeration, CacheAndLookups)
{
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
}
