// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/SmartLogDecoder.h"

#include "PageBuilder.h"
#include "TestData.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::PageBuilder;
using corvane::test::expectFields;

namespace {

const QString kTrac = "ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/";

} // namespace

TEST(SelftestLog, OrderStatusesAndWrappingIndex)
{
    PageBuilder p;
    p.le16(0, 1).byte(508, 3);
    p.byte(2, 1).le16(4, 100);                                       // descriptor 1
    p.byte(26, 2).byte(27, 0x73).le16(28, 200).le32(31, 0x00ABCDEF); // descriptor 2
    p.byte(50, 129).byte(51, 0x25).le16(52, 300);                    // descriptor 3
    p.byte(74 + 24 * 17, 0x55).byte(74 + 24 * 17 + 1, 0x9A);         // descriptor 21: vendor type
    test::expectGoldenJson("decode/selftest-log.json", selftestLog(p.span()));

    // An index past 21 wraps: 22 starts at descriptor 1, 255 at descriptor 3.
    p.byte(508, 22);
    test::expectGoldenJson("decode/selftest-log-wrapped.json", selftestLog(p.span()));
    p.byte(508, 255);
    EXPECT_EQ(selftestLog(p.span()).value("selftestResults").toList()[0].toMap().value("LifetimeHours").toUInt(), 300u);

    p.byte(508, 0);
    EXPECT_EQ(selftestLog(p.span()).value("isEnabledSelftestResults").toInt(), 0);
    p.byte(508, 3).le16(0, 2);
    expectFields(selftestLog(p.span()), {{"selftestResults", QVariantList()}, {"selftestLogStructRev", 2}});
}

TEST(ErrorLog, StructuresCommandsAndSkippedEntries)
{
    PageBuilder p;
    p.byte(0, 1).byte(1, 3).le16(452, 7);
    // Structure 1: the failing command is a SMART READ LOG at 1 day 1 h 1 min 1.5 s.
    const size_t s1 = 2, c5 = s1 + 4 * 12, e1 = s1 + 60;
    p.byte(c5, 0x08).byte(c5 + 1, 0xD5).byte(c5 + 2, 1).byte(c5 + 3, 0x12).byte(c5 + 4, 0x34)
        .byte(c5 + 5, 0x56).byte(c5 + 6, 0xE7).byte(c5 + 7, 0xB0).le32(c5 + 8, 90061500);
    p.byte(e1 + 1, 0x44).byte(e1 + 2, 1).byte(e1 + 3, 0x78).byte(e1 + 4, 0x9A).byte(e1 + 5, 0xBC)
        .byte(e1 + 6, 0x4F).byte(e1 + 7, 0x51).byte(e1 + 27, 0x03).le16(e1 + 28, 1234);
    // Structure 2: commands but all-zero error data, so it is left out.
    p.byte(2 + 90 + 7, 0xC8);
    // Structure 3: only one error-data byte set.
    p.byte(2 + 180 + 60 + 29, 0x01);

    test::expectGoldenJson("decode/error-log.json", errorLog(p.span()));

    EXPECT_TRUE(errorLog(PageBuilder().byte(0, 2).span()).isEmpty());
    const QVariantMap clean = errorLog(PageBuilder().byte(0, 1).span());
    expectFields(clean, {{"isEnabledErrorLog", 0}, {"lifetimeErrorsColor", "controlTextColor"}});
    EXPECT_EQ(clean.size(), 6);
    EXPECT_EQ(msToTime(0), "00:00:00:0.000");
    EXPECT_EQ(msToTime(3599999), "00:00:59:59.999");
    EXPECT_EQ(msToTime(UINT32_MAX), "49:17:02:47.295");
}

TEST(SmartLogs, ShortPagesKeepOnlyWholeEntries)
{
    // Version-1 error log whose every byte but the header is 0xFF, cut short.
    std::array<uint8_t, 512> busy;
    busy.fill(0xFF);
    busy[0] = 1;
    for (size_t size : {1u, 2u, 100u, 300u, 452u, 453u, 511u, 512u}) {
        const QVariantMap log = errorLog(std::span<const uint8_t>(busy).first(size));
        EXPECT_EQ(log.value("errorLog").toList().size(), qsizetype(std::min<size_t>(5, (size + 27) / 90))) << size;
    }
    const QByteArray real = test::readData(kTrac + "smartlog-06-selftest.bin");
    for (int size : {0, 1, 2, 200, 507, 508, 509})
        EXPECT_EQ(selftestLog(test::bytes(real.left(size))).value("selftestResults").toList().size(),
                  size > 508 ? 21 : 0) << size;
    const QByteArray dir = test::readData(kTrac + "smartlog-00-directory.bin");
    EXPECT_EQ(smartLogs(test::bytes(dir.left(10))).value("logDir").toMap()
                  .value("225").toMap().value("pages").toUInt(), 0u);
    expectFields(smartLogs(PageBuilder().le16(0, 2).le16(12, 4).span()),
                 {{"logDirVersion", 2}, {"isEnabledLogDir", 0}, {"logs", QVariantList()}});
}
