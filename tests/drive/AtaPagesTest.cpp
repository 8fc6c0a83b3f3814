// SPDX-License-Identifier: GPL-3.0-or-later
// The one ATA decode pipeline: which pages it decodes (the session tests give
// it bad pages, and compare it with `corvanectl decode` on every real drive).
#include "database/DriveDatabase.h"
#include "drive/AtaPages.h"
#include "drive/IdentifyDecoder.h"
#include "platform/recorded/RecordedPages.h"

#include "TestData.h"
#include "support/Fields.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QString kTrac = "ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/";

AtaPages loadPages(const QString &dir)
{
    AtaPages pages;
    for (const AtaPageFile &file : kAtaPageFiles)
        pages.present[file.kind] =
            recorded::readPage(test::dataPath(dir + QLatin1String(file.fileName)), pages.page(file.kind), 1) == 0;
    return pages;
}

} // namespace

TEST(AtaPages, PipelineDecodesWhatWasRead)
{
    const DriveDatabase db = DriveDatabase::parse(test::readData("drivedb/base.h"));
    const AtaPages pages = loadPages(kTrac);
    ASSERT_TRUE(identifyPageValid(pages.identity));
    ASSERT_TRUE(smartDataValid(pages.smartData));
    ASSERT_FALSE(pages.has(AtaPages::ErrorLog));

    const QVariantMap settings{{"bsdName", "sda"}, {"Drive Type", "Solid State"}};
    const QVariantMap p = decodeAtaDrive(pages, settings, db, {}, false);
    // IDENTIFY replaces the setting's drive type.
    test::expectFields(p, {{"bsdName", "sda"}, {"Device Model", "SSDSC2KB019T7R"}, {"Drive Type", "2.5 inch SSD"},
                           {"isEnabledLogDir", 1}, {"attributeHealth", "Passed"}});
    EXPECT_EQ(p.value("selftestResults").toList().size(), 21);
    EXPECT_FALSE(p.contains("errorLog")); // not read, not decoded
    // The SCT row of the capability table is filled from IDENTIFY's flags.
    test::expectFields(p.value("capArray").toList().at(6).toMap(),
                       {{"key0", "SCT Status"}, {"val0", QString(QChar(0x2714))}});
    // The drive's own verdict decides "health".
    test::expectFields(decodeAtaDrive(pages, settings, db, {}, true), {{"health", "Failed"}});
}

TEST(AtaPages, ChecksSelfTestTextsAndPollingTimes)
{
    Page page{};
    EXPECT_FALSE(smartDataValid(page)); // revision 0
    page[0] = 0x80; // the revision a real TOSHIBA MK1651GSY reports
    ataFixChecksum(page);
    EXPECT_EQ(page[511], 0x80);
    EXPECT_TRUE(smartDataValid(page));
    EXPECT_FALSE(smartDataValid(std::span<const uint8_t>(page).first(511)));
    page.fill(0xFF); // a bridge with no drive behind it: valid sum, no revision
    EXPECT_TRUE(ataChecksumValid(page));
    EXPECT_FALSE(smartDataValid(page));
    page.fill(0);
    page[510] = 0xA5;
    ataFixChecksum(page);
    EXPECT_TRUE(identifyPageValid(page));

    page.fill(0);
    page[smartdata::kShortPollingMinutes] = 2;
    page[smartdata::kExtendedPollingMinutes] = 96;
    EXPECT_EQ(selfTestPollingMinutes(page, false), 2u);
    EXPECT_EQ(selfTestPollingMinutes(page, true), 96u);
    page[smartdata::kExtendedPollingMinutes] = 255;
    page[375] = 0x2C;
    page[376] = 0x01;
    EXPECT_EQ(selfTestPollingMinutes(page, true), 300u);

    EXPECT_EQ(selfTestStatusText(0), "Pass");
    EXPECT_EQ(selfTestStatusText(0, SelfTestTexts::Log), "Completed without error");
    EXPECT_EQ(selfTestStatusText(8), "Handling Damage");
    EXPECT_EQ(selfTestStatusText(9), "Unknown");
    EXPECT_EQ(selfTestStatusText(14, SelfTestTexts::Log), "Unknown");
    EXPECT_EQ(selfTestStatusText(15), "Test In Progress");
}
