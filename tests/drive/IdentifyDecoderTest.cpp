// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/AtaPages.h"
#include "drive/IdentifyDecoder.h"

#include "PageBuilder.h"
#include "TestData.h"
#include "support/Fields.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::PageBuilder;
using corvane::test::expectFields;

namespace {

QString str(const QVariantMap &m, const char *key)
{
    return m.value(QLatin1String(key)).toString();
}

QVariantMap identifyOf(const QString &folder)
{
    return identifyDevice(test::bytes(test::readData(QStringLiteral("ata-pages/%1/identify.bin").arg(folder))));
}

QVariantMap capabilitiesOf(const QString &folder)
{
    return capabilities(test::bytes(test::readData(QStringLiteral("ata-pages/%1/smart.bin").arg(folder))));
}

// Folder names squash model and firmware; compare without separators.
QString squashed(QString s)
{
    return s.remove(QLatin1Char(' ')).remove(QLatin1Char('_')).remove(QLatin1Char('-'));
}

} // namespace

TEST(IdentifyDecoder, EveryRealDriveAgreesWithItsFolderAndManifest)
{
    // Both manifests: the 19 tagged snapshots and the 5 older untagged ones.
    QList<QPair<QString, QList<QByteArray>>> rows;
    for (const QString &base : {QString(), QStringLiteral("legacy-untagged/")}) {
        const QByteArray manifest = test::readData(QStringLiteral("ata-pages/%1manifest.tsv").arg(base));
        for (const QByteArray &line : manifest.split('\n').mid(1)) {
            if (line.count('\t') >= 4)
                rows.append({base, line.split('\t')});
        }
    }
    int drives = 0;
    for (const auto &[base, cols] : rows) {
        const QString folder = base + QString::fromUtf8(cols[0]);
        SCOPED_TRACE(folder.toStdString());
        const QByteArray page = test::readData(QStringLiteral("ata-pages/%1/identify.bin").arg(folder));
        EXPECT_TRUE(identifyPageValid(test::bytes(page)));
        const QVariantMap id = identifyDevice(test::bytes(page));
        EXPECT_EQ(str(id, "Device Model"), QString::fromUtf8(cols[2]));
        EXPECT_EQ(str(id, "Firmware Version"), QString::fromUtf8(cols[3]));
        EXPECT_EQ(str(id, "Serial Number"), QString::fromUtf8(cols[4]));

        QString name = QString::fromUtf8(cols[0]);
        name.remove(QRegularExpression("--2$"));
        const QString second = name.startsWith(QLatin1String("TOSHIBA")) ? str(id, "Serial Number")
                                                                            : str(id, "Firmware Version");
        EXPECT_EQ(squashed(name), squashed(str(id, "Device Model") + second));
        ++drives;
    }
    EXPECT_EQ(drives, 19 + 5);
}

TEST(IdentifyDecoder, ValuesWorkedOutFromRealPages)
{
    // Intel DC S4500: word 106 = 0x6003, 209 = 0x4000, 217 = 1, 168 = 3, 222 = 0x10FF,
    // 76 = 0x950E, 77 = 0x0006, 80 = 0x07FC, 81 = 0x006D, 108-111 = 55cd 2e41 4e32 bb5b.
    const QVariantMap trac = identifyOf("trac-1070_SSDSC2KB019T7R--SCV1DL57");
    expectFields(trac, {{"Device Model", "SSDSC2KB019T7R"}, {"Firmware Version", "SCV1DL57"},
                        {"logicalSectorSize", 512}, {"physicalSectorSize", 4096}, {"logicalSectorOffset", 0},
                        {"sectorSizeStr", "512 bytes logical, 4096 bytes physical"},
                        {"sectors", 3750748848ull}, // lba28 saturated
                        {"WWN", "5 5cd2e4 14e32bb5b"}, {"Transport Type", "SATA 3.2, 6.0 Gb/s (current 6.0 Gb/s)"},
                        {"Drive Type", "2.5 inch SSD"}, {"ataVersion", "ACS-3 T13/2161-D revision 5"},
                        {"General Purpose Logging", 1}});
    EXPECT_TRUE(trac.value("SCT Data Table").toBool());

    // Fujitsu MHY2250BH: 222 = 0x100F (SATA 2.5), 76 low byte 0x02, 77 = 0: no current speed.
    const QVariantMap fujitsu = identifyOf("FUJITSU_MHY2250BH--0085000B");
    expectFields(fujitsu, {{"Transport Type", "SATA 2.5, 1.5 Gb/s"}, {"WWN", "5 00000e 0416de6a2"},
                           {"sectors", 488397168ull}, {"ataVersion", "ATA8-ACS T13/1699-D revision 3f"}});
    EXPECT_FALSE(fujitsu.contains("Drive Type")); // word 217 = 0

    // Maxtor 96147H8: word 83 = 0x4309 has no 48-bit addressing, so only lba28 counts;
    // word 84 = 0x4000 offers no logs; no WWN, no transport word.
    const QVariantMap maxtor = identifyOf("Maxtor_96147H8--BAC51KJ0--2");
    expectFields(maxtor, {{"sectors", 120060864ull}, {"ataVersion", "ATA/ATAPI-6 T13/1410D revision 0"},
                          {"General Purpose Logging", 0}, {"Error Logging", 0},
                          {"sectorSizeStr", "512 bytes logical, 512 bytes physical"}});
    EXPECT_EQ(str(maxtor, "WWN"), QString());
    EXPECT_EQ(str(maxtor, "Transport Type"), QString());

    EXPECT_EQ(str(identifyOf("ST320410A--3.39"), "ataVersion"), "ATA/ATAPI-6");
    EXPECT_EQ(str(identifyOf("INTEL_SSDSA2CW120G3--4PC10302"), "Drive Type"), "SSD");
    EXPECT_EQ(str(identifyOf("TOSHIBA_MK1651GSY--38IGT0G5T"), "Transport Type"), "SATA 2.6, 3.0 Gb/s");
    // MCCOE64GEMPP pads its firmware with NUL bytes, not blanks.
    EXPECT_EQ(str(identifyOf("MCCOE64GEMPP--2.9.09"), "Firmware Version"), "2.9.09");
}

TEST(IdentifyDecoder, SyntheticWordsThroughTheirBranches)
{
    EXPECT_EQ(str(identifyDevice(PageBuilder().word(217, 7200).word(168, 2).span()), "Drive Type"),
              "3.5 inch HDD 7200 rpm");
    EXPECT_EQ(str(identifyDevice(PageBuilder().word(217, 5400).word(168, 5).span()), "Drive Type"),
              "< 1.8 inch HDD 5400 rpm");
    EXPECT_FALSE(identifyDevice(PageBuilder().word(217, 0x0400).span()).contains("Drive Type"));
    EXPECT_FALSE(identifyDevice(PageBuilder().word(217, 0xFFFF).span()).contains("Drive Type"));

    const auto transport = [](uint16_t w222, uint16_t w76 = 0, uint16_t w77 = 0) {
        return str(identifyDevice(PageBuilder().word(222, w222).word(76, w76).word(77, w77).span()), "Transport Type");
    };
    EXPECT_EQ(transport(0xFFFF), QString());
    EXPECT_EQ(transport(0x0000), "");
    EXPECT_EQ(transport(0x0001), "ATA/ATAPI-7");
    EXPECT_EQ(transport(0x0002), "unknown");
    EXPECT_EQ(transport(0xE001), "PCIe (0xe001)");
    EXPECT_EQ(transport(0x2001), "unknown");
    // An unusable word 76 counts as 1, whose bit 0 names no speed.
    EXPECT_EQ(transport(0x1000, 0xFFFF), "Unknown,  Gb/s");
    EXPECT_EQ(transport(0x1800, 0x0010, 4 << 1), "SATA > 3.2, 6.0+ Gb/s");
    EXPECT_EQ(transport(0x1001, 0x0004, 1 << 1), "ATA8-AST, 3.0 Gb/s (current 1.5 Gb/s)");

    const auto sizes = [](PageBuilder p) {
        const QVariantMap m = identifyDevice(p.span());
        return std::array<uint32_t, 3>{m.value("logicalSectorSize").toUInt(), m.value("physicalSectorSize").toUInt(),
                                       m.value("logicalSectorOffset").toUInt()};
    };
    EXPECT_EQ(sizes(PageBuilder().word(106, 0x0000)), (std::array<uint32_t, 3>{512, 512, 0}));
    EXPECT_EQ(sizes(PageBuilder().word(106, 0xC003)), (std::array<uint32_t, 3>{512, 512, 0}));
    // 4Kn: 2048 words per logical sector; alignment offset of 1 logical sector.
    EXPECT_EQ(sizes(PageBuilder().word(106, 0x7000).word(117, 2048).word(209, 0x4001)),
              (std::array<uint32_t, 3>{4096, 4096, 4096}));
    EXPECT_EQ(sizes(PageBuilder().word(106, 0x4000).word(209, 0x8001)), (std::array<uint32_t, 3>{512, 512, 0}));
    // A logical size beyond 32 bits is firmware garbage; it must not wrap to a small number.
    EXPECT_EQ(sizes(PageBuilder().word(106, 0x700F).word(117, 0xFFFF).word(118, 0xFFFF))[0], UINT32_MAX);

    const auto sectors = [](PageBuilder p) {
        return identifyDevice(p.span()).value("sectors").toULongLong();
    };
    // lba48 below lba28 only wins on large logical sectors.
    EXPECT_EQ(sectors(PageBuilder().word(60, 1000).word(83, 0x4400).word(100, 500)), 1000ull);
    EXPECT_EQ(sectors(PageBuilder().word(60, 1000).word(83, 0x4400).word(100, 500).word(106, 0x5000).word(117, 2048)), 500ull);
    EXPECT_EQ(sectors(PageBuilder().word(60, 1000).word(83, 0x4000).word(100, 5000)), 1000ull);

    const auto wwn = [](uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
        return str(identifyDevice(PageBuilder().word(108, a).word(109, b).word(110, c).word(111, d)
                                      .word(112, 0x0102).word(115, 0xabcd).span()),
                   "WWN");
    };
    EXPECT_EQ(wwn(0x1234, 0x5678, 0x9abc, 0xdef0), "1 234 56789a bcdef0");
    EXPECT_EQ(wwn(0x6000, 0x0001, 0x0002, 0x0003), "6 000000 100020003 010200000000abcd");
    EXPECT_EQ(wwn(0x3000, 0, 0, 1), "3 000000000000001");
    EXPECT_EQ(wwn(0, 0, 0, 0), QString());

    // Text fields: blanks and NULs go, a single character is not a model.
    const QVariantMap text = identifyDevice(PageBuilder().text(27, 20, "X").text(10, 10, "  AB12  ")
                                                .byte(46, '7').byte(47, 0).span());
    EXPECT_FALSE(text.contains("Device Model"));
    EXPECT_EQ(str(text, "Serial Number"), "AB12");
    EXPECT_FALSE(text.contains("Firmware Version")); // "" after the NUL, then "7"
}

TEST(IdentifyDecoder, TextFieldHelpers)
{
    const uint8_t swapped[] = {'B', 'A', 'D', 'C', ' ', 'E', 0, 0};
    EXPECT_EQ(stringFromCStringSwapped(swapped), "ABCDE");
    const uint8_t badUtf8[] = {0xC3, 0x28, 'a', 'b'};
    EXPECT_EQ(stringFromCStringSwapped(badUtf8), QString());
    const uint8_t garbageAfterNul[] = {'B', 'A', 0, 0, 0xFF, 0xFE};
    EXPECT_EQ(stringFromCStringSwapped(garbageAfterNul), "AB");
    const uint8_t odd[] = {'B', 'A', 'C'}; // the odd byte stays where it is
    EXPECT_EQ(stringFromCStringSwapped(odd), "ABC");
    EXPECT_EQ(stringFromCStringSwapped({}), QString());
    EXPECT_EQ(binaryString(0x5, 4), "0101");
    EXPECT_EQ(binaryString(~0ull, 40).size(), 32);
}

TEST(Capabilities, RealPagesAndTheirSelfTestStates)
{
    const QVariantMap trac = capabilitiesOf("trac-1070_SSDSC2KB019T7R--SCV1DL57");
    expectFields(trac, {{"Offline data collection status", "Completed"}, {"Offline data collection time", 288},
                        {"Self-test status", "Pass 100%"}, {"Conveyance self-test polling time", 60},
                        {"Auto Offline Data Collection Enabled", false}, {"Auto Offline Data Collection", false},
                        {"Conveyance Self-Test", true}}); // byte 367 = 0x79
    const QVariantList offers = trac.value("selftests").toList();
    ASSERT_EQ(offers.size(), 2);
    EXPECT_EQ(offers[0].toMap().value("timeToComplete").toString(), "1 minute");
    expectFields(offers[1].toMap(), {{"name", "Extended"}, {"timeToComplete", "  1 hour"}});

    EXPECT_EQ(str(capabilitiesOf("SAMSUNG_MMCQE28G8MUP--0VA_VAM08L1Q"), "Self-test status"), "Test In Progress 30%");
    EXPECT_EQ(str(capabilitiesOf("FUJITSU_MHY2120BH--0085000B"), "Self-test status"), "Aborted 30%");
    EXPECT_EQ(str(capabilitiesOf("INTEL_SSDSA2MH080G1GC--045C8820"), "Self-test status"), "Interrupted By Reset 100%");
    const QVariantMap wdc = capabilitiesOf("WDC_WD2500JS-75NCB3--10.02E04");
    expectFields(wdc, {{"Offline data collection status", "Suspended by Host"},
                       {"Auto Offline Data Collection Enabled", true}});
    EXPECT_EQ(str(capabilitiesOf("SAMSUNG_HD501LJ--CR100-12").value("selftests")
                      .toList()[1].toMap(), "timeToComplete"),
              "  2 hours, 29 minutes");
    EXPECT_EQ(str(capabilitiesOf("Maxtor_96147H8--BAC51KJ0"), "Offline data collection time"), QString());
}

TEST(Capabilities, EdgeCasesAndCapabilityTable)
{
    const QVariantMap zero = capabilities(PageBuilder().span());
    expectFields(zero, {{"Offline data collection status", "Never Started"}, {"Self-test status", "Never Run"},
                        {"Self-test progress", 100}, {"isEnabledSelftest", 0}});
    EXPECT_EQ(str(zero, "Offline data collection time"), QString());
    for (const QVariant &offer : zero.value("selftests").toList())
        EXPECT_EQ(offer.toMap().value("timeToComplete").toString(), "N/A");
    for (const QVariant &row : zero.value("capArray").toList()) {
        EXPECT_EQ(row.toMap().value("val0").toString(), QString());
        EXPECT_EQ(row.toMap().value("val1").toString(), QString());
    }

    EXPECT_EQ(pollingTimeText(61), "  1 hour, 1 minute");

    const QVariantMap longTest = capabilities(PageBuilder().byte(373, 255).le16(375, 0x01C2).span());
    EXPECT_EQ(longTest.value("Extended self-test polling time").toUInt(), 450u);

    const QVariantMap running = capabilities(PageBuilder().byte(367, 0x10).byte(363, 0xFB).byte(362, 0x81).span());
    expectFields(running, {{"Self-test status", "Test In Progress 246%"}, {"Self-test progress", 246},
                           {"Offline data collection status", "Reserved"}, {"isEnabledSelftest", 1}});

    // Logging and SCT flags come from the properties IDENTIFY filled in.
    const QVariantMap props{{"General Purpose Logging", 1}, {"SCT Data Table", true}};
    const QVariantList rows = capabilities(PageBuilder().byte(367, 0x01).span(), props)
                                  .value("capArray").toList();
    ASSERT_EQ(rows.size(), 8);
    const QString check = QString(QChar(0x2714));
    expectFields(rows[2].toMap(), {{"key0", "SMART Execute Offline Immediate"}, {"val0", check}});
    expectFields(rows[5].toMap(), {{"key0", "General Purpose Logging"}, {"val0", check}, {"val1", ""}});
    expectFields(rows[7].toMap(), {{"key1", "SCT Data Table"}, {"val1", check}});
}

TEST(PageDecoding, ShortZeroAndFilledPages)
{
    // A page cut after the model field decodes what it holds (the fuzz target cuts everywhere).
    const QByteArray real = test::readData("ata-pages/trac-1070_SSDSC2KB019T7R--SCV1DL57/identify.bin");
    test::expectFields(identifyDevice(test::bytes(real.left(94))),
                       {{"Device Model", "SSDSC2KB019T7R"}, {"sectorSizeStr", "512 bytes logical, 512 bytes physical"}});
    EXPECT_FALSE(identifyPageValid(test::bytes(real.left(94))));

    std::array<uint8_t, 512> ff;
    ff.fill(0xFF);
    const QVariantMap id = identifyDevice(ff);
    EXPECT_EQ(str(id, "Transport Type"), QString());
    EXPECT_FALSE(id.contains("Drive Type"));
    EXPECT_EQ(str(id, "Device Model"), QString());
    // Word 106 bits 15:14 = 11 is no valid word; word 80 = 0xFFFF names no version.
    expectFields(id, {{"sectorSizeStr", "512 bytes logical, 512 bytes physical"}, {"ataVersion", "not reported"}});
    EXPECT_EQ(str(identifyDevice(PageBuilder().span()), "ataVersion"), "not reported");
    expectFields(capabilities(ff), {{"Offline data collection status", "Reserved"},
                                    {"Extended self-test polling time", 0xFFFF}});
    EXPECT_FALSE(identifyPageValid(PageBuilder().span()));
    // The integrity word is optional: without the signature the page stands.
    QByteArray unsigned_ = real;
    unsigned_[510] = 0;
    unsigned_[511] = 0x5A; // no checksum to get wrong
    EXPECT_TRUE(identifyPageValid(test::bytes(unsigned_)));
    QByteArray badSum = real;
    badSum[511] = char(badSum[511] + 1);
    EXPECT_FALSE(identifyPageValid(test::bytes(badSum)));
    EXPECT_FALSE(identifyPageValid(ff));
    EXPECT_FALSE(identifyPageValid(test::bytes(real.left(511))));
}
