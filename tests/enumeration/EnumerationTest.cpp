// SPDX-License-Identifier: GPL-3.0-or-later
// Registry trees, drive selection and the settings record, over a hand-written tree of edge
// cases and over captured udev folders built into a registry as a real machine's would be.
#include "TestData.h"
#include "drive/DriveEnumerator.h"
#include "drive/KernelNameOrder.h"
#include "platform/linux/UdevRegistry.h"
#include "platform/recorded/RecordedRegistry.h"
#include "support/Golden.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::expectGolden;

namespace {

// All an enumeration shows: the drive list as `corvanectl list --json` gives it, then the
// media left out and why, then the identification record of each.
QByteArray enumerationText(const Registry &registry)
{
    DriveEnumerator e(registry);
    const DriveInformation &drives = e.driveInformation();
    QJsonArray listed, leftOut;
    QStringList names = e.sortedBSDNames();
    for (const QString &name : names)
        listed.append(QJsonValue::fromVariant(drives.value(name)));
    for (const auto &l : e.leftOut()) {
        leftOut.append(QJsonArray{l.bsdName, l.reason});
        names << l.bsdName;
    }
    QJsonObject identification;
    for (const QString &name : names)
        identification.insert(name, QJsonObject::fromVariantMap(e.deviceIdentification(registry.serviceNamed(name))));
    return QJsonDocument(listed).toJson() + QJsonDocument(leftOut).toJson() + QJsonDocument(identification).toJson();
}

std::unique_ptr<TreeRegistry> captured(const char *name)
{
    QString error;
    auto source = CapturedDeviceSource::open(test::dataPath(QStringLiteral("udev/") + QLatin1String(name)), &error);
    EXPECT_TRUE(source) << qPrintable(error);
    return source ? buildUdevRegistry(*source) : TreeRegistry::create({});
}

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

// The edge-case tree: sdb announces SMART as false, sdc holds APFS content, sdi has no
// description; sdk's port has a model but no serial, so its device is read; vendors are
// prefixed unless already in the model; volumes without a name or of a hidden kind are left out.
TEST(Enumeration, ListsSmartCapableMediaBuildsTheirRecordsAndCachesThem)
{
    QString error;
    const auto registry = openRecordedRegistry(test::dataPath("registry/edge-cases"), &error);
    ASSERT_TRUE(registry) << qPrintable(error);
    expectGolden(QStringLiteral("enumeration-edge-cases.json"), enumerationText(*registry));

    DriveEnumerator c(*registry);
    // A medium without parents has an empty record.
    EXPECT_EQ(c.deviceIdentification(registry->entryForId("pci")),
              (QVariantMap{{"model", ""}, {"nvmerev", ""}, {"rev", ""}, {"serial", ""}, {"vendor", ""}}));
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

    // Device location bytes lose their NULs; undecodable ones give no location rather than garbage.
    const auto disk = [](const char *name, QVariantMap properties) {
        properties.insert("Whole", true);
        return RegistryNode{name, name, 0, properties, QVariantMap{{"DAMediaBSDName", name}, {"DAMediaContent", ""}}};
    };
    const QVariantMap sata{{"Physical Interconnect", "SATA"}, {"Physical Interconnect Location", "Internal"}};
    auto located = TreeRegistry::create({{"ctl", "ctl", -1, {{"SMART Capable", true}, {"Protocol Characteristics", sata},
                                                             {"io-device-location", QByteArray("\0Bay 3\0\0", 8)}}, std::nullopt},
                                         disk("sda", {}), disk("sdb", {{"io-device-location", QByteArray("\xff\xfe", 2)}})});
    ASSERT_TRUE(located);
    DriveEnumerator l(*located);
    EXPECT_EQ(l.driveInformation()["sda"]["Loc-Con"], "Internal SATA - Bay 3");
    EXPECT_EQ(l.cache()["sdb"]["Loc-Con"], "Internal SATA ");
}

TEST(KernelNameOrder, SortsAsUsersReadThem)
{
    EXPECT_EQ(sortedKernelNames({"sdaa", "sdb", "nvme10n1", "sdz", "nvme1n1", "sda10", "nvme0n1", "sda", "nvme1n2",
                                 "sda2", "vdb", "sda1", "vda", "xvdaa", "xvdb"}),
              (QStringList{"nvme0n1", "nvme1n1", "nvme1n2", "nvme10n1", "sda", "sda1", "sda2", "sda10", "sdb", "sdz",
                           "sdaa", "vda", "vdb", "xvdb", "xvdaa"}));
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

// Each folder with the tree built from it: libata (ata_id's full IDENTIFY strings, a disk
// without SMART, optical/loop/zram/dm/md devices that are no media), nvme (behind a
// Thunderbolt bridge, a multipath namespace), usb-sata (ata_id's rotation rate beats the
// bridge's flag, a stick that answers no ATA), gpt-mbr (hidden and unnamed partitions, an
// Atari table), virtio (a QEMU guest without udev daemon), broken (looping parents, garbage).
TEST(UdevRegistry, CapturedMachines)
{
    for (const char *name : {"libata", "nvme", "usb-sata", "gpt-mbr", "virtio", "broken"}) {
        const auto tree = captured(name);
        expectGolden(QStringLiteral("udev-%1.json").arg(QLatin1String(name)),
                     enumerationText(*tree) + recordedRegistryJson(*tree));
    }
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
    EXPECT_EQ(registry->matchingServices({{"BSD Name", "sda1"}}).size(), 1); // the first entry
    EXPECT_FALSE(TreeRegistry::create({{"a", "a", -2, {}, std::nullopt}}));
    EXPECT_EQ(registry->name(sda), "disk-a");
    EXPECT_EQ(registry->diskDescription(sda)->value("DAMediaSize").toLongLong(), 500107862016LL);

    // Parent steps end with a null handle at the root.
    EXPECT_EQ(registry->name(registry->parentEntry(sda)), "ata1");
    EXPECT_TRUE(registry->parentEntry(registry->parentEntry(registry->parentEntry(sda))).isNull());
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

    // Bad input gets a clear message; cycles include an entry that is its own parent.
    const std::pair<const char *, const char *> bad[] = {
        {"{\"entries\": [", "not valid JSON"}, {"[1, 2]", "top level"}, {"{}", "\"entries\" must be an array"},
        {"{\"version\": 99, \"entries\": []}", "version"}, {"{\"entries\": [7]}", "entry 0: must be an object"},
        {"{\"entries\": [{}]}", "\"id\""}, {"{\"entries\": [{\"id\": \"\"}]}", "\"id\""},
        {"{\"entries\": [{\"id\": \"a\"}, {\"id\": \"a\"}]}", "duplicate"},
        {"{\"entries\": [{\"id\": \"a\", \"parent\": 1}]}", "\"parent\""},
        {"{\"entries\": [{\"id\": \"a\", \"parent\": \"zz\"}]}", "entry 0 (\"a\"): parent \"zz\" does not exist"},
        {"{\"entries\": [{\"id\": \"a\", \"properties\": []}]}", "\"properties\""},
        {"{\"entries\": [{\"id\": \"a\", \"description\": \"x\"}]}", "\"description\""},
        {"{\"entries\": [{\"id\": \"a\", \"name\": false}]}", "\"name\""},
        {"{\"entries\": [{\"id\": \"a\", \"parent\": \"a\"}]}", "parent"},
        {R"({"entries": [{"id": "a", "parent": "c"}, {"id": "b", "parent": "a"}, {"id": "c", "parent": "b"}]})", "cycle"}};
    for (const auto &[json, why] : bad)
        EXPECT_TRUE(parseError(json).contains(QLatin1String(why))) << json;
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
