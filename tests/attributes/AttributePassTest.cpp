// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/DriveDatabase.h"
#include "drive/Attributes.h"
#include "drive/IdentifyDecoder.h"
#include "QStringPrinter.h"
#include "TestData.h"
#include "support/Fields.h"

#include <QDir>
#include <QFile>

#include <array>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::expectFields;

namespace {

using Page = std::array<uint8_t, 512>;

struct Pages
{
    Page data{};
    Page thresholds{};

    // Fills entry slot `slot` of both pages.
    void put(int slot, uint8_t id, uint16_t flags, uint8_t value, uint8_t worst, std::array<uint8_t, 6> raw,
             uint8_t threshold = 0)
    {
        uint8_t *e = data.data() + 2 + 12 * slot;
        e[0] = id;
        e[1] = uint8_t(flags);
        e[2] = uint8_t(flags >> 8);
        e[3] = value;
        e[4] = worst;
        std::copy(raw.begin(), raw.end(), e + 5);
        uint8_t *t = thresholds.data() + 2 + 12 * slot;
        t[0] = id;
        t[1] = threshold;
    }
};

const DriveDatabase &fixtureDb()
{
    static const DriveDatabase db = DriveDatabase::parse(test::readData("drivedb/base.h"));
    return db;
}

QVariantMap run(const Pages &p, const QVariantMap &ignore = {}, bool isfail = false,
                const QString &model = QStringLiteral("UNKNOWN DRIVE"), const QString &firmware = QStringLiteral("1"))
{
    return attributesModel(fixtureDb(), p.data, p.thresholds, model, firmware, ignore, isfail);
}

QVariantMap record(const QVariantMap &result, int index)
{
    return result.value("vendorspecificAttributes").toList().value(index).toMap();
}

QVariantMap allIgnored()
{
    QVariantMap m;
    for (const char *k : {"a5", "a10", "a184", "a187", "a188", "a190", "a194", "a196"})
        m.insert(QLatin1String(k), true);
    return m;
}

} // namespace

TEST(AttributePass, RecordsAndHeadlineValues)
{
    Pages p;
    p.data[0] = 0x10; // data structure revision 16
    p.put(0, 1, 0x000b, 100, 100, {0, 0, 0, 0, 0, 0}, 6);
    p.put(1, 9, 0x0032, 96, 96, {0xa0, 0x08, 0, 0, 0, 0});
    p.put(2, 12, 0x0032, 100, 100, {0x7b, 0x02, 0, 0, 0, 0});
    p.put(3, 194, 0x0022, 100, 100, {28, 0, 15, 0, 54, 0});
    p.put(4, 199, 0x003e, 200, 200, {0, 0, 0, 0, 0, 0});
    p.put(5, 230, 0x0000, 50, 40, {7, 0, 0, 0, 0, 0}, 45);
    const QVariantMap r = run(p);

    EXPECT_EQ(r.size(), 14);
    expectFields(r, {{"attributeHealth", "Passed"}, {"health", "Passed"}, {"powerOnHours", "2208 (0 0 0)"},
                     {"powerCycleCount", 635}, {"temperature", 28}, {"crcErrorCount", 0},
                     {"crcErrorCountColor", kControlTextColor}, {"attributesDataStructureRev", 16},
                     {"isEnabledAttributes", 1}, {"Model Family", "-"}, {"modelFamily", ""}, {"isHDD", 0}});
    EXPECT_EQ(r.value("crcErrorCount").typeId(), QMetaType::Int);
    EXPECT_EQ(r.value("vendorspecificAttributes").toList().size(), 6);

    const QVariantMap first = record(r, 0);
    EXPECT_EQ(first, (QVariantMap{{"ID", "1"}, {"attributeName", "Raw Read Error Rate"}, {"flags", "000B"},
                                  {"value", "100"}, {"worst", "100"}, {"threshold", "6"}, {"type", "Pre-fail"},
                                  {"updated", "Always"}, {"condition", "Never"}, {"rawValue", "0"}, {"min", ""},
                                  {"max", ""}, {"fmt", "raw48"}, {"bad", false}}));
    EXPECT_EQ(r.value("vsaDict").toMap().value("1").toMap(), first);

    expectFields(record(r, 3), {{"rawValue", "28, 15, 54, 0"}, {"min", " 15"}, {"max", " 54"}, {"type", "Old age"},
                                {"updated", "Always"}});

    // Unknown to every preset: "Unknown", raw48. Worst at or below the threshold: "In the past".
    expectFields(record(r, 5), {{"attributeName", "Unknown"}, {"fmt", "raw48"}, {"condition", "In the past"},
                                {"updated", "Offline"}, {"bad", false}});
}

TEST(AttributePass, DriveEntryPresetsOverTheDefaults)
{
    Pages p;
    p.put(0, 9, 0x32, 100, 100, {125, 0, 0, 0, 3, 0});
    p.put(1, 12, 0x32, 100, 100, {1, 0, 2, 0, 3, 0});
    p.put(2, 7, 0x0f, 100, 100, {0, 0, 0, 0, 0, 0});
    p.put(3, 193, 0x32, 100, 100, {5, 0, 0, 9, 0, 0});
    p.put(4, 194, 0x22, 100, 100, {35, 0, 0, 0, 0, 0});
    const QVariantMap r = run(p, {}, false, "EXAMPLE ONE-100", "FW1");
    // Only the default entry names 7; its name marks a hard drive.
    expectFields(r, {{"modelFamily", "Example Family One"}, {"powerOnHours", "02:05 (3)"}, {"powerCycleCount", 3},
                     {"isHDD", 1}});
    expectFields(record(r, 0), {{"attributeName", "Power On Minutes"}, {"fmt", "min2hour"}});
    expectFields(record(r, 1), {{"fmt", "raw16"}, {"rawValue", "3 2 1"}});
    EXPECT_EQ(record(r, 2).value("attributeName").toString(), "Seek Error Rate");
    // The legacy "loadunload" row gives a format and an empty name: the name is looked for further.
    expectFields(record(r, 3), {{"fmt", "raw24/raw24"}, {"rawValue", "9/5"}, {"attributeName", "Unknown"}});
    // Current temperature only: the split leaves min and max empty.
    expectFields(record(r, 4), {{"rawValue", "35, 0, 0, 0"}, {"min", ""}, {"max", ""}});
}

TEST(AttributePass, VerdictRules)
{
    {   // Threshold 0 never fails by itself; v equal to the threshold does.
        Pages p;
        p.put(0, 1, 0x0b, 0, 0, {0, 0, 0, 0, 0, 0}, 0);
        EXPECT_EQ(record(run(p), 0).value("condition").toString(), "Never");
        EXPECT_EQ(run(p).value("attributeHealth").toString(), "Passed");
        p.put(0, 1, 0x0b, 6, 6, {0, 0, 0, 0, 0, 0}, 6);
        const QVariantMap r = run(p);
        expectFields(record(r, 0), {{"condition", "FAILING NOW"}, {"bad", true}});
        expectFields(r, {{"attributeHealth", "Warning"}, {"health", "Passed"}});
    }
    {   // 188 is a problem only above 10000.
        Pages p;
        p.put(0, 188, 0x32, 100, 100, {0x10, 0x27, 0, 0, 0, 0});
        EXPECT_EQ(run(p).value("attributeHealth").toString(), "Passed");
        p.put(0, 188, 0x32, 100, 100, {0x11, 0x27, 0, 0, 0, 0});
        EXPECT_EQ(run(p).value("attributeHealth").toString(), "Warning");
        EXPECT_EQ(run(p, allIgnored()).value("attributeHealth").toString(), "Passed");
    }
    // Counters that matter when above zero, each with its ignore key; 197 and 198 have none.
    for (uint8_t id : {5, 10, 184, 187, 196, 197, 198}) {
        Pages p;
        p.put(0, id, 0x32, 100, 100, {1, 0, 0, 0, 0, 0});
        const auto verdict = [&](const QVariantMap &ignore) { return run(p, ignore).value("attributeHealth").toString(); };
        const bool ignorable = id < 197;
        EXPECT_EQ(verdict({{QStringLiteral("a%1").arg(id), true}}), ignorable ? "Passed" : "Warning") << int(id);
        EXPECT_EQ(verdict({{QStringLiteral("a%1").arg(id), false}}), "Warning") << int(id);
        EXPECT_EQ(verdict(allIgnored()), ignorable ? "Passed" : "Warning") << int(id);
        EXPECT_TRUE(record(run(p), 0).value("bad").toBool());
    }
    {   // An ignored attribute below its threshold is not bad; temperature falls back to 190.
        Pages p;
        p.put(0, 194, 0x22, 20, 20, {0, 0, 0, 0, 0, 0}, 30);
        p.put(1, 190, 0x22, 60, 60, {35, 0, 0, 0, 0, 0}, 0);
        EXPECT_EQ(run(p).value("attributeHealth").toString(), "Warning");
        const QVariantMap r = run(p, {{"a194", true}});
        expectFields(r, {{"attributeHealth", "Passed"}, {"temperature", 35}});
        expectFields(record(r, 0), {{"bad", false}, {"condition", "FAILING NOW"}});
    }
    {   // CRC errors: painted, but not a verdict of their own. The last duplicate sets the headline.
        Pages p;
        p.put(0, 199, 0x3e, 200, 200, {0, 0, 0, 0, 0, 0});
        p.put(1, 199, 0x3e, 200, 200, {3, 1, 0, 0, 0, 0});
        p.put(2, 12, 0x32, 100, 100, {0, 0, 0, 0, 0, 0});
        const QVariantMap r = run(p);
        expectFields(r, {{"crcErrorCount", 259}, {"crcErrorCountColor", kFailureColor}, {"attributeHealth", "Passed"},
                         {"powerCycleCount", ""}});
        EXPECT_EQ(r.value("vsaDict").toMap().size(), 2);
    }
    {   // The drive's own failure overrides everything.
        Pages p;
        p.put(0, 5, 0x33, 100, 100, {0, 0, 0, 0, 0, 0}, 10);
        expectFields(run(p, {}, true), {{"health", "Failed"}, {"attributeHealth", "Failed"}});
    }
}

TEST(AttributePass, EmptyShortAndGarbagePages)
{
    const Pages empty;
    const QVariantMap r = run(empty);
    EXPECT_TRUE(r.value("vendorspecificAttributes").toList().isEmpty());
    expectFields(r, {{"isEnabledAttributes", 0}, {"temperature", 0}, {"powerOnHours", ""}, {"powerCycleCount", ""},
                     {"crcErrorCount", ""}, {"attributesDataStructureRev", ""}, {"attributeHealth", "Passed"}});
    EXPECT_EQ(attributesModel(fixtureDb(), {}, {}, "", "", {}, true).value("attributeHealth").toString(), "Failed");

    // Pages cut short: entries past the end read as empty slots.
    Pages p;
    p.put(0, 9, 0x32, 100, 100, {10, 0, 0, 0, 0, 0});
    p.put(1, 12, 0x32, 100, 100, {10, 0, 0, 0, 0, 0});
    const QVariantMap cut = attributesModel(fixtureDb(), std::span(p.data).first(19), std::span(p.thresholds).first(3),
                                            "", "", {}, false);
    EXPECT_EQ(cut.value("vendorspecificAttributes").toList().size(), 2);
    EXPECT_EQ(record(cut, 1).value("rawValue").toString(), "0");

    // Thirty slots and no more: the bytes after them are offline-collection data.
    Pages full;
    for (int slot = 0; slot <= 30; ++slot)
        full.put(slot, uint8_t(slot + 1), 0x32, 100, 100, {});
    EXPECT_EQ(run(full).value("vendorspecificAttributes").toList().size(), 30);

    // With no database at all, names and formats fall back.
    const DriveDatabase none = DriveDatabase::parse(QByteArrayView());
    expectFields(record(attributesModel(none, p.data, p.thresholds, "", "", {}, false), 0),
                 {{"attributeName", "Unknown"}, {"fmt", "raw48"}});
}

// Recorded pages of real drives with the real drivedb.h.
TEST(AttributePass, RealDrivesWithTheRealDatabase)
{
    QFile dbFile(QStringLiteral("/usr/share/smartmontools/drivedb.h"));
    if (!dbFile.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "smartmontools' drivedb.h is not installed (apt-get install smartmontools)";
    const DriveDatabase db = DriveDatabase::parse(dbFile.readAll());

    QStringList folders;
    const QDir root(test::dataPath("ata-pages"));
    for (const QString &d : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFileInfo::exists(root.filePath(d + "/smart.bin")))
            folders << d;
    for (const QString &d : QDir(root.filePath("legacy-untagged")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << "legacy-untagged/" + d;
    ASSERT_GE(folders.size(), 25);

    QMap<QString, QVariantMap> results;
    for (const QString &folder : folders) {
        const QVariantMap id = identifyDevice(test::bytes(test::readData("ata-pages/" + folder + "/identify.bin")));
        const QByteArray smart = test::readData("ata-pages/" + folder + "/smart.bin");
        const QByteArray thresh = test::readData("ata-pages/" + folder + "/thresholds.bin");
        const bool failing = test::readData("ata-pages/" + folder + "/smart_status.txt").startsWith("0");
        const QVariantMap r = attributesModel(db, test::bytes(smart), test::bytes(thresh), id["Device Model"].toString(),
                                              id["Firmware Version"].toString(), {}, failing);
        SCOPED_TRACE(folder.toStdString());
        EXPECT_TRUE(QStringList({"Passed", "Warning", "Failed"}).contains(r.value("attributeHealth").toString()));
        EXPECT_EQ(r.value("isEnabledAttributes").toInt(), 1);
        for (const QVariant &rec : r.value("vendorspecificAttributes").toList()) {
            const QVariantMap m = rec.toMap();
            // The common attributes are named by the database (vendor-only ones such as
            // Maxtor's 96-101 are unknown to it, as to smartctl).
            if (QStringList({"1", "4", "5", "9", "12", "194", "197", "198", "199"}).contains(m.value("ID").toString())) {
                EXPECT_NE(m.value("attributeName").toString(), "Unknown") << m.value("ID").toString().toStdString();
            }
        }
        results.insert(folder, r);
    }

    const auto raw = [&](const char *folder, const char *id, const char *key = "rawValue") {
        return results.value(folder).value("vsaDict").toMap().value(id).toMap().value(key).toString();
    };
    const struct { const char *folder, *id, *raw; } raws[] = {
        // Fujitsu MHY2120BH: 9 is raw24(raw8) 0x0008a0; 194 keeps min and max in r2 and r4; 5 carries 2000 in r4-r5.
        {"FUJITSU_MHY2120BH--0084000D", "9", "2208 (0 0 0)"},
        {"FUJITSU_MHY2120BH--0084000D", "194", "28, 15, 54, 0"},
        {"FUJITSU_MHY2120BH--0084000D", "5", "0 (2000 0)"},
        {"Maxtor_96147H8--BAC51KJ0", "9", "2016:57 (0)"}, // minutes: 0x01d8b9 = 121017
        {"SAMSUNG_MP0804H--UE100-14", "9", "4645:14"},    // half minutes: 0x088175 = 557429
        // Momentus 5400.3: 190 between r2 and r4; 194 fits no layout.
        {"ST9160821AS--3.CLH", "190", "38, 37, 40, 0"},
        {"ST9160821AS--3.CLH", "194", "38, 0, 0, 0"},
        {"WDC_WD5000AAKS--00TMA0-12.01C01", "5", "63 (0 0)"},
        {"WDC_WD5000AAKS--00TMA0-12.01C01", "197", "529"},
    };
    for (const auto &c : raws)
        EXPECT_EQ(raw(c.folder, c.id), QLatin1String(c.raw)) << c.folder << " " << c.id;
    expectFields(results.value("FUJITSU_MHY2120BH--0084000D"), {{"temperature", 28}});
    // One pending sector; 190 was below its threshold once.
    expectFields(results.value("ST9160821AS--3.CLH"), {{"attributeHealth", "Warning"}});
    EXPECT_EQ(raw("ST9160821AS--3.CLH", "190", "condition"), "In the past");
    expectFields(results.value("WDC_WD5000AAKS--00TMA0-12.01C01"),
                 {{"attributeHealth", "Warning"}, {"modelFamily", "Western Digital Caviar Blue (SATA)"}});
    // Intel's name for 245 keeps its last word whole (not "Remaininging").
    EXPECT_EQ(raw("trac-1070_SSDSC2KB019T7R--SCV1DL57", "245", "attributeName"), "Percent Life Remaining");
    // The recording whose RETURN STATUS said failing, and drives in good order.
    expectFields(results.value("Maxtor_96147H8--BAC51KJ0--2"), {{"health", "Failed"}, {"attributeHealth", "Failed"}});
    expectFields(results.value("trac-1070_SSDSC2KB019T7R--SCV1DL57"), {{"attributeHealth", "Passed"}, {"temperature", 26}});
    expectFields(results.value("TOSHIBA_MK1651GSY--38IGT0G5T"),
                 {{"powerOnHours", "6310:45 (0)"}, {"crcErrorCount", 0x028e9a13}});
}
