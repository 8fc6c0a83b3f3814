// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/DisplayFormats.h"

#include <gtest/gtest.h>

using namespace corvane::display;

static std::string s(const QString &t)
{
    return t.toStdString();
}

TEST(DisplayFormats, EdgeValuesOfEveryFormat)
{
    EXPECT_EQ(s(blankLineXfmr(QVariant())), "-");
    EXPECT_EQ(s(blankLineXfmr(QStringLiteral(" \t "))), "-");
    EXPECT_EQ(s(blankLineXfmr(QStringLiteral(" a "))), " a ");
    EXPECT_EQ(s(blankLineXfmr(42)), "42");

    EXPECT_EQ(s(memUnitXfmr(999)), "999 B ");
    EXPECT_EQ(s(memUnitXfmr(1000)), "1 KB");
    EXPECT_EQ(s(memUnitXfmr(999999)), "1000 KB");
    EXPECT_EQ(s(memUnitXfmr(1500000)), "1.5 MB");
    EXPECT_EQ(s(memUnitXfmr(1e9)), "1.000 GB");
    EXPECT_EQ(s(memUnitXfmr(2000398934016.0)), "2.000 TB");
    EXPECT_EQ(s(memUnitXfmr(0)), "-");
    EXPECT_EQ(s(memUnitXfmr(-5)), "-5 B ");

    EXPECT_EQ(s(boolXfmr(true)), "Yes");
    EXPECT_EQ(s(boolXfmr(false)), "No");

    EXPECT_EQ(s(hexXfmr(10)), "0Ah");
    EXPECT_EQ(s(hexXfmr(255)), "FFh");
    EXPECT_EQ(s(hexXfmr(4096)), "1000h");
    // A 48-bit raw value keeps its top bits.
    EXPECT_EQ(s(hexXfmr(0xFFFF12345678LL)), "FFFF12345678h");

    EXPECT_EQ(s(hoursXfmr(0)), "-");
    EXPECT_EQ(s(hoursXfmr(1)), "1 (1 hour)");
    EXPECT_EQ(s(hoursXfmr(5)), "5 (5 hours)");
    EXPECT_EQ(s(hoursXfmr(24)), "24 (1 day)");
    EXPECT_EQ(s(hoursXfmr(30)), "30 (1 day, 6 hours)");
    EXPECT_EQ(s(hoursXfmr(48)), "48 (2 days)");
    EXPECT_EQ(s(hoursXfmr(8765)), "8,765 (11 months, 30 days, 9 hours)");
    EXPECT_EQ(s(hoursXfmr(8766)), "8,766 (1 year)");
    EXPECT_EQ(s(hoursXfmr(10000)), "10,000 (1 year, 1 month, 20 days, 23 hours)");
    EXPECT_EQ(s(hoursXfmr(17532)), "17,532 (2 years)");
    // 32-bit hundredths overflow above 21,474,836 hours.
    EXPECT_EQ(s(hoursXfmr(30000000)), "30,000,000 (3422 years, 4 months, 18 days, 10 hours)");

    EXPECT_EQ(s(temperatureXfmr(0)), "-");
    EXPECT_EQ(s(temperatureXfmr(-3)), "-");
    EXPECT_EQ(s(temperatureXfmr(1)), "1 ℃ / 33.8 ℉");
    EXPECT_EQ(s(temperatureXfmr(35)), "35 ℃ / 95.0 ℉");
    EXPECT_EQ(s(temperatureXfmr(100)), "100 ℃ / 212.0 ℉");
    // An overheating drive is shown, not hidden.
    EXPECT_EQ(s(temperatureXfmr(101)), "101 ℃ / 213.8 ℉");

    EXPECT_EQ(s(minutesXfmr(2)), "2 minutes");
    EXPECT_EQ(s(pagesXfmr(QStringLiteral("16"))), "16 pages");
    EXPECT_EQ(s(percentXfmr(7)), "7 %");

    EXPECT_EQ(s(vid2vXfmr(QStringLiteral("8086"))), "(8086)");
    setVendorDict({{QStringLiteral("8086"), QVariantMap{{QStringLiteral("name"), QStringLiteral("Intel Corporation")}}}});
    EXPECT_EQ(s(vid2vXfmr(QStringLiteral("8086"))), "Intel Corporation (8086)");
    EXPECT_EQ(s(vid2vXfmr(QStringLiteral("1b36"))), "(1b36)");
    setVendorDict({});

    EXPECT_EQ(s(mfgLogoXfmr(QStringLiteral("/nonexistent/logo.png"))), "");
    EXPECT_EQ(s(mfgLogoXfmr(QString())), "");
    EXPECT_EQ(s(mfgLogoXfmr(QStringLiteral(CORVANE_DEMO_SET "/registry.json"))), CORVANE_DEMO_SET "/registry.json");

    EXPECT_EQ(s(todXfmr(3725)), " 01:02:05");
    EXPECT_EQ(s(todXfmr(-59)), "-00:00:59");
    EXPECT_EQ(s(todXfmr(360000)), " 100:00:00");
    EXPECT_EQ(s(todXfmr(0)), " 00:00:00");

    EXPECT_EQ(s(pfw_iconXfmr(QStringLiteral("Passed"))), "NSStatusAvailableFlat");
    EXPECT_EQ(s(pfw_iconXfmr(QStringLiteral("Warning"))), "NSStatusPartiallyAvailableFlat");
    EXPECT_EQ(s(pfw_iconXfmr(QStringLiteral("Failed"))), "NSStatusUnavailableFlat");
    EXPECT_EQ(s(pfw_iconXfmr(QStringLiteral("passed"))), "NSStatusNone");
    EXPECT_EQ(s(pfw_iconXfmr(QString())), "NSStatusNone");
}
