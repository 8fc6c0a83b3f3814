// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/AtaPageDecoding.h"
#include "drive/IdentifyDecoder.h"
#include "drive/THSMARTDevice.h"

#include "TestData.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

void load(Page &page, const QString &file)
{
    const QByteArray bytes = test::readData(file);
    ASSERT_EQ(bytes.size(), 512) << file.toStdString();
    std::copy_n(reinterpret_cast<const uint8_t *>(bytes.constData()), 512, page.begin());
}

} // namespace

TEST(PageDecoding, DevicePagesIntoProperties)
{
    const QString dir = QStringLiteral("ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/");
    auto device = THSMARTDevice::deviceWithSetting({{QStringLiteral("Device Model"), QStringLiteral("from registry")},
                                                    {QStringLiteral("Drive Type"), QStringLiteral("Solid State")}});
    load(device->identity, dir + QStringLiteral("identify.bin"));
    load(device->smartData, dir + QStringLiteral("smart.bin"));
    load(device->logDirectory, dir + QStringLiteral("smartlog-00-directory.bin"));
    load(device->testLog, dir + QStringLiteral("smartlog-06-selftest.bin"));
    ASSERT_TRUE(identifyPageValid(device->identity));
    ASSERT_TRUE(smartDataValid(device->smartData));

    decodeIdentity(*device);
    decodeCapabilities(*device);
    decodeLogDirectory(*device);
    decodeSelftestLog(*device);
    const QVariantMap &p = device->driveProperties();
    EXPECT_EQ(p.value(QStringLiteral("Device Model")).toString(), QStringLiteral("SSDSC2KB019T7R"));
    EXPECT_EQ(p.value(QStringLiteral("Drive Type")).toString(), QStringLiteral("2.5 inch SSD"));
    EXPECT_EQ(p.value(QStringLiteral("selftestResults")).toList().size(), 21);
    EXPECT_EQ(p.value(QStringLiteral("isEnabledLogDir")).toInt(), 1);
    // The SCT row of the capability table is filled from IDENTIFY's flags.
    const QVariantMap sct = p.value(QStringLiteral("capArray")).toList().at(6).toMap();
    EXPECT_EQ(sct.value(QStringLiteral("key0")).toString(), QStringLiteral("SCT Status"));
    EXPECT_EQ(sct.value(QStringLiteral("val0")).toString(), QString(QChar(0x2714)));
    EXPECT_FALSE(p.contains(QStringLiteral("attributeHealth")));
}

TEST(PageDecoding, InvalidSmartDataReadsAsZeros)
{
    // This Toshiba reports SMART data structure revision 0x0080: a real page.
    auto device = THSMARTDevice::deviceWithSetting({});
    load(device->smartData, QStringLiteral("ata-pages/TOSHIBA_MK1651GSY--38IGT0G5T/smart.bin"));
    EXPECT_TRUE(smartDataValid(device->smartData));
    markSmartDataInvalid(*device);
    const QVariantMap &p = device->driveProperties();
    EXPECT_EQ(p.value(QStringLiteral("attributeHealth")).toString(), QStringLiteral("-"));
    EXPECT_EQ(p.value(QStringLiteral("health")).toString(), QStringLiteral("-"));
    EXPECT_EQ(p.value(QStringLiteral("Self-test status")).toString(), QStringLiteral("Never Run"));
    EXPECT_TRUE(std::all_of(device->smartData.begin(), device->smartData.end(), [](uint8_t b) { return b == 0; }));

    Page page{};
    page[0] = 1;
    page[511] = 0xFF; // revision 1, checksum right
    EXPECT_TRUE(smartDataValid(page));
    page[0] = 0x80; // the revision a real TOSHIBA MK1651GSY reports
    page[511] = uint8_t(-0x80);
    EXPECT_TRUE(smartDataValid(page));
    page[0] = 0;
    page[1] = 0;
    page[511] = 0;
    EXPECT_FALSE(smartDataValid(page));
}
