// SPDX-License-Identifier: GPL-3.0-or-later
// The one ATA decode pipeline: which pages it decodes (the session tests give
// it bad pages, and compare it with `corvanectl decode` on every real drive).
#include "database/DriveDatabase.h"
#include "drive/AtaPages.h"
#include "drive/IdentifyDecoder.h"

#include "TestData.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QString kTrac = QStringLiteral("ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/");

AtaPages loadPages(const QString &dir)
{
    AtaPages pages;
    for (const AtaPageFile &file : kAtaPageFiles) {
        const QByteArray bytes = test::readData(dir + QLatin1String(file.fileName));
        pages.present[file.kind] = !bytes.isEmpty();
        std::copy_n(reinterpret_cast<const uint8_t *>(bytes.constData()), std::min<qsizetype>(bytes.size(), 512),
                    pages.page(file.kind).begin());
    }
    return pages;
}

QString text(const QVariantMap &p, const char *key) { return p.value(QLatin1String(key)).toString(); }

} // namespace

TEST(AtaPages, PipelineDecodesWhatWasRead)
{
    const DriveDatabase db = DriveDatabase::parse(test::readData(QStringLiteral("drivedb/base.h")));
    const AtaPages pages = loadPages(kTrac);
    ASSERT_TRUE(identifyPageValid(pages.identity));
    ASSERT_TRUE(smartDataValid(pages.smartData));
    ASSERT_FALSE(pages.has(AtaPages::ErrorLog));

    const QVariantMap settings{{QStringLiteral("bsdName"), QStringLiteral("sda")},
                               {QStringLiteral("Drive Type"), QStringLiteral("Solid State")}};
    const QVariantMap p = decodeAtaDrive(pages, settings, db, {}, false);
    EXPECT_EQ(text(p, "bsdName"), QStringLiteral("sda"));
    EXPECT_EQ(text(p, "Device Model"), QStringLiteral("SSDSC2KB019T7R"));
    EXPECT_EQ(text(p, "Drive Type"), QStringLiteral("2.5 inch SSD")); // IDENTIFY replaces the setting
    EXPECT_EQ(p.value(QStringLiteral("selftestResults")).toList().size(), 21);
    EXPECT_EQ(p.value(QStringLiteral("isEnabledLogDir")).toInt(), 1);
    EXPECT_FALSE(p.contains(QStringLiteral("errorLog"))); // not read, not decoded
    EXPECT_EQ(text(p, "attributeHealth"), QStringLiteral("Passed"));
    // The SCT row of the capability table is filled from IDENTIFY's flags.
    const QVariantMap sct = p.value(QStringLiteral("capArray")).toList().at(6).toMap();
    EXPECT_EQ(sct.value(QStringLiteral("key0")).toString(), QStringLiteral("SCT Status"));
    EXPECT_EQ(sct.value(QStringLiteral("val0")).toString(), QString(QChar(0x2714)));
    // The drive's own verdict decides "health".
    EXPECT_EQ(text(decodeAtaDrive(pages, settings, db, {}, true), "health"), QStringLiteral("Failed"));
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

    EXPECT_EQ(selfTestStatusText(0), QStringLiteral("Pass"));
    EXPECT_EQ(selfTestStatusText(0, SelfTestTexts::Log), QStringLiteral("Completed without error"));
    EXPECT_EQ(selfTestStatusText(2), QStringLiteral("Interrupted By Reset"));
    EXPECT_EQ(selfTestStatusText(3, SelfTestTexts::Log), QStringLiteral("Fatal Error"));
    EXPECT_EQ(selfTestStatusText(8), QStringLiteral("Handling Damage"));
    EXPECT_EQ(selfTestStatusText(9), QStringLiteral("Unknown"));
    EXPECT_EQ(selfTestStatusText(14, SelfTestTexts::Log), QStringLiteral("Unknown"));
    EXPECT_EQ(selfTestStatusText(15), QStringLiteral("Test In Progress"));
}
