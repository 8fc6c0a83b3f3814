// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recorded/RecordedRegistry.h"
#include "support/Fields.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

std::unique_ptr<TreeRegistry> parse(const char *json, QString *error = nullptr)
{
    QString ignored;
    return parseRecordedRegistry(QByteArray(json), error ? error : &ignored);
}

QString parseError(const char *json)
{
    QString error;
    EXPECT_EQ(parse(json, &error), nullptr) << json;
    return error;
}

const char *kTree = R"({"version": 1, "entries": [
  {"id": "sda1", "parent": "sda", "properties": {"BSD Name": "sda1"}, "description": {"DAVolumeName": "data"}},
  {"id": "pci", "properties": {"Subsystem": "pci", "Deep": {"Nested": {"Value": 7}}}},
  {"id": "ata1", "parent": "pci", "properties": {"SMART Capable": true}},
  {"id": "sda", "name": "disk-a", "parent": "ata1", "properties": {"Whole": true}, "description": {"DAMediaSize": 500107862016}},
  {"id": "sda2", "parent": "sda", "properties": {}},
  {"id": "sda2x", "parent": "sda2", "properties": {}}
]})";

} // namespace

TEST(RecordedRegistry, ServesTheTreeItHolds)
{
    auto registry = parse(kTree);
    ASSERT_TRUE(registry);
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
    EXPECT_EQ(names, (QStringList{"sda1", "sda2", "sda2x"}));
    EXPECT_FALSE(registry->diskDescription(registry->serviceNamed("sda2")).has_value());
    EXPECT_EQ(registry->diskDescription(registry->serviceNamed("sda1"))->value("DAVolumeName"), "data");
    EXPECT_TRUE(registry->serviceNamed("nothing").isNull());

    // It round-trips through its own writer.
    const QByteArray written = recordedRegistryJson(*registry);
    auto again = parseRecordedRegistry(written, nullptr);
    ASSERT_TRUE(again);
    EXPECT_EQ(recordedRegistryJson(*again), written);
    EXPECT_EQ(again->nodes().size(), registry->nodes().size());
}

TEST(RecordedRegistry, HandlesOutliveTheirRegistryAndStayForeignToOthers)
{
    auto registry = parse(kTree);
    auto other = parse(kTree);
    ASSERT_TRUE(registry && other);
    RegistryEntry kept = registry->serviceNamed("sda1");
    // Another tree must not answer for a handle it did not give out.
    EXPECT_TRUE(other->properties(kept).isEmpty());
    EXPECT_TRUE(other->parentEntry(kept).isNull());
    registry.reset();
    EXPECT_FALSE(kept.isNull()); // still a valid (released-later) handle, no dangling tree
    kept.release();
    EXPECT_TRUE(kept.isNull());
}

TEST(RecordedRegistry, RejectsBadInputWithAClearMessage)
{
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
    EXPECT_TRUE(parse("{\"entries\": []}"));
}

TEST(RecordedRegistry, OpensFoldersAndFilesOrSaysWhyNot)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
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
