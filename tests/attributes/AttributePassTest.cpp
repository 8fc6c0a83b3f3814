// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/DriveDatabase.h"
#include "drive/Attributes.h"
#include "QStringPrinter.h"
#include "TestData.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <QJsonDocument>
#include <QJsonObject>

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

TEST(AttributePass, RecordsHeadlinesAndDriveEntryPresets)
{
    Pages p;
    p.data[0] = 0x10; // data structure revision 16
    p.put(0, 1, 0x000b, 100, 100, {0, 0, 0, 0, 0, 0}, 6);
    p.put(1, 9, 0x0032, 96, 96, {0xa0, 0x08, 0, 0, 0, 0});
    p.put(2, 12, 0x0032, 100, 100, {0x7b, 0x02, 0, 0, 0, 0});
    p.put(3, 194, 0x0022, 100, 100, {28, 0, 15, 0, 54, 0});
    p.put(4, 199, 0x003e, 200, 200, {0, 0, 0, 0, 0, 0});
    p.put(5, 230, 0x0000, 50, 40, {7, 0, 0, 0, 0, 0}, 45); // known to no preset; worst below the threshold
    const QVariantMap r = run(p);
    test::expectGoldenJson("attributes/records.json", r);
    EXPECT_EQ(r.value("crcErrorCount").typeId(), QMetaType::Int);

    // Only the default entry names 7, and its name marks a hard drive. The legacy "loadunload"
    // row of 193 gives a format and an empty name: the name is looked for further.
    Pages e;
    e.put(0, 9, 0x32, 100, 100, {125, 0, 0, 0, 3, 0});
    e.put(1, 12, 0x32, 100, 100, {1, 0, 2, 0, 3, 0});
    e.put(2, 7, 0x0f, 100, 100, {0, 0, 0, 0, 0, 0});
    e.put(3, 193, 0x32, 100, 100, {5, 0, 0, 9, 0, 0});
    e.put(4, 194, 0x22, 100, 100, {35, 0, 0, 0, 0, 0});
    test::expectGoldenJson("attributes/drive-entry.json", run(e, {}, false, "EXAMPLE ONE-100", "FW1"));
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
