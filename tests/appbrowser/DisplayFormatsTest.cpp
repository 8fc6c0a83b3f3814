// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/thVendorDB.h"
#include "display/DisplayFormats.h"

#include <gtest/gtest.h>

using namespace corvane::display;

namespace {

template <typename In, typename Format>
void expectTexts(Format format, std::initializer_list<std::pair<In, const char *>> cases)
{
    int n = 0;
    for (const auto &[input, text] : cases)
        EXPECT_EQ(format(input).toStdString(), text) << "case " << n++;
}

} // namespace

TEST(DisplayFormats, EdgeValuesOfEveryFormat)
{
    expectTexts<QVariant>(
        blankLineXfmr, {{QVariant(), "-"}, {QStringLiteral(" \t "), "-"}, {QStringLiteral(" a "), " a "},
                           {QStringLiteral("\ta \t"), "\ta \t"}, {QStringLiteral("a"), "a"}, {42, "42"}});
    expectTexts<double>(memUnitXfmr,
        {{999, "999 B "}, {1000, "1 KB"}, {999999, "1000 KB"}, {1500000, "1.5 MB"}, {1e9, "1.000 GB"},
            {2000398934016.0, "2.000 TB"}, {0, "-"}, {-5, "-5 B "}});
    expectTexts<bool>(boolXfmr, {{true, "Yes"}, {false, "No"}});
    // A 48-bit raw value keeps its top bits.
    expectTexts<qint64>(hexXfmr, {{10, "0Ah"}, {255, "FFh"}, {4096, "1000h"}, {0xFFFF12345678LL, "FFFF12345678h"}});
    expectTexts<qint64>(hoursXfmr,
        {{0, "-"}, {1, "1 (1 hour)"}, {5, "5 (5 hours)"}, {24, "24 (1 day)"}, {30, "30 (1 day, 6 hours)"},
            {48, "48 (2 days)"}, {8765, "8,765 (11 months, 30 days, 9 hours)"}, {8766, "8,766 (1 year)"},
            {10000, "10,000 (1 year, 1 month, 20 days, 23 hours)"}, {17532, "17,532 (2 years)"},
            // 32-bit hundredths overflow above 21,474,836 hours.
            {30000000, "30,000,000 (3422 years, 4 months, 18 days, 10 hours)"}});
    // An overheating drive is shown, not hidden.
    expectTexts<qint64>(temperatureXfmr,
        {{0, "-"}, {-3, "-"}, {1, "1 ℃ / 33.8 ℉"}, {35, "35 ℃ / 95.0 ℉"}, {100, "100 ℃ / 212.0 ℉"},
            {101, "101 ℃ / 213.8 ℉"}});
    expectTexts<QVariant>(minutesXfmr, {{2, "2 minutes"}});
    expectTexts<QVariant>(pagesXfmr, {{QStringLiteral("16"), "16 pages"}});
    expectTexts<QVariant>(percentXfmr, {{7, "7 %"}});
    expectTexts<qint64>(
        todXfmr, {{3725, " 01:02:05"}, {3599, " 00:59:59"}, {-59, "-00:00:59"}, {360000, " 100:00:00"}, {0, " 00:00:00"}});
    expectTexts<QString>(pfw_iconXfmr,
        {{"Passed", "NSStatusAvailableFlat"}, {"Warning", "NSStatusPartiallyAvailableFlat"},
            {"Failed", "NSStatusUnavailableFlat"}, {"passed", "NSStatusNone"}, {QString(), "NSStatusNone"}});

    expectTexts<QString>(vid2vXfmr, {{"8086", "(8086)"}});
    setVendorIndex(std::make_shared<const corvane::VendorIndex>(QByteArray("8086  Intel Corporation\n")));
    expectTexts<QString>(vid2vXfmr, {{"8086", "Intel Corporation (8086)"}, {"1b36", "(1b36)"}});
    setVendorIndex(nullptr);
    expectTexts<QString>(mfgLogoXfmr,
        {{"/nonexistent/logo.png", ""}, {QString(), ""},
            {CORVANE_DEMO_SET "/registry.json", CORVANE_DEMO_SET "/registry.json"}});
}
