// SPDX-License-Identifier: GPL-3.0-or-later
// The one ATA decode pipeline (the session tests give it bad pages).
#include "database/DriveDatabase.h"
#include "drive/AtaPages.h"
#include "drive/IdentifyDecoder.h"
#include "platform/recorded/RecordedPages.h"

#include "PageBuilder.h"
#include "TestData.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <QDir>
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

// Every recorded real drive, decoded whole with smartmontools' own database and
// encoded as `corvanectl decode --json` encodes it.
TEST(AtaPages, RealDrivesDecodeWhole)
{
    QFile dbFile(QStringLiteral("/usr/share/smartmontools/drivedb.h"));
    if (!dbFile.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "smartmontools' drivedb.h is not installed (apt-get install smartmontools)";
    const DriveDatabase db = DriveDatabase::parse(dbFile.readAll());
    QStringList folders;
    for (const QString &base : {QString(), QStringLiteral("legacy-untagged/")})
        for (const QString &d : QDir(test::dataPath("ata-pages/" + base)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (d != "legacy-untagged")
                folders << base + d;
    ASSERT_EQ(folders.size(), 25);
    for (const QString &folder : folders) {
        const QString dir = "ata-pages/" + folder + "/";
        const bool failing = test::readData(dir + "smart_status.txt").startsWith("0");
        const QVariantMap p = decodeAtaDrive(loadPages(dir), {}, db, {}, failing);
        test::expectGoldenJson("decode/" + QString(folder).replace("/", "--") + ".json", p);
    }
}

TEST(AtaPages, PagesOverruleTheSettings)
{
    const QVariantMap settings{{"bsdName", "sda"}, {"Drive Type", "Solid State"}};
    test::expectFields(decodeAtaDrive(loadPages(kTrac), settings, DriveDatabase::parse(QByteArrayView()), {}, false),
                       {{"bsdName", "sda"}, {"Drive Type", "2.5 inch SSD"}});
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
