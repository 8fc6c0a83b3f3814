// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/Attributes.h"
#include "QStringPrinter.h"

#include <array>
#include <climits>
#include <clocale>
#include <string>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

using Entry = std::array<uint8_t, 12>;

// id 194, flags 0x0032, v 0x64, w 0x5a, raw 01..06, reserved 07
constexpr Entry kEntry{194, 0x32, 0x00, 0x64, 0x5a, 1, 2, 3, 4, 5, 6, 7};

Entry withRaw(std::array<uint8_t, 6> raw)
{
    Entry e{194, 0x22, 0, 100, 100};
    std::copy(raw.begin(), raw.end(), e.begin() + 5);
    return e;
}

QString decode(const Entry &e, const char *fmt)
{
    return decodeRawAttribute(e, QString::fromLatin1(fmt));
}

} // namespace

TEST(RawFormats, EveryLayout)
{
    const struct { const char *fmt; const char *expected; } cases[] = {
        {"raw8", "6 5 4 3 2 1"},
        {"raw16", "1541 1027 513"},
        {"raw48", "6618611909121"},
        {"hex48", "0x060504030201"},
        {"raw48:54321", "25853952770"},
        {"raw56", "1976943448883713"},
        {"hex56", "0x07060504030201"},
        {"raw64", "433757350076176996"},
        {"hex64", "0x0605040302015a64"},
        {"raw16(raw16)", "513 (1541 1027)"},
        {"raw16(avg16)", "513 (1027)"},
        {"raw24(raw8)", "197121 (6 5 4)"},
        {"raw24/raw24", "394500/197121"},
        {"raw24/raw32", "460293/197121"},
        {"sec2hour", "1838503308:05:21s"},
        {"min2hour", "1121766:25 (1541)"},
        {"halfmin2hour", "55155099242:40"},
        {"msec24hour32", "67305985:07:40.293"},
        {"temp10x", "51.3"},
        {"tempminmax", "1, 3, 4, 0"},
        {"raw24/raw32:210zr54", "197121/460293"},
        {"raw24/raw32:04321", "1/84148994"},
        {"raw24/raw32:zvzzzw", "100/90"},
        {"raw24/raw24:z54z10", "1541/513"},
        {"raw24/raw24:w01234", "5898498/197637"},
        {"raw24/raw24:w01z23", "5898498/772"},
        {"hex64:w012345r", "0x5a01020304050607"},
        {"hex48:w01234", "0x00005a0102030405"},
        {"RAW16(AVG16)", "513 (1027)"},       // names are matched without letter case
        {"no-such-format", "6618611909121"},  // unknown names read as raw48
    };
    for (const auto &c : cases)
        EXPECT_EQ(decode(kEntry, c.fmt), QLatin1String(c.expected)) << c.fmt;

    EXPECT_EQ(decode(withRaw({0x8d, 0x0e, 0, 0, 0, 0}), "sec2hour"), "01:02:05s");
    EXPECT_EQ(decode(withRaw({125, 0, 0, 0, 3, 0}), "min2hour"), "02:05 (3)");
    EXPECT_EQ(decode(withRaw({0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), "raw48"), "281474976710655");

    // The decimal point does not follow the user's locale.
    const char *saved = std::setlocale(LC_NUMERIC, nullptr);
    const std::string previous = saved ? saved : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        EXPECT_EQ(decode(kEntry, "temp10x"), "51.3");
        EXPECT_EQ(decode(kEntry, "msec24hour32"), "67305985:07:40.293");
    }
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(decode(withRaw({0, 0, 0, 0, 0xe8, 0x03}), "msec24hour32"), "0:00:01.000");

    const std::array<uint8_t, 6> shortEntry{9, 0x32, 0, 100, 100, 7};
    EXPECT_EQ(decodeRawAttribute(shortEntry, "raw48"), "7");
    EXPECT_EQ(decodeRawAttribute({}, "hex64:w012345r"), "0x0000000000000000");
    EXPECT_EQ(decodeRawAttribute({}, "tempminmax"), "0, 0, 0, 0");
}

TEST(RawFormats, TemperatureSplit)
{
    const auto split = [](std::array<uint8_t, 6> raw) {
        std::array<int16_t, 4> t{-1, -1, -1, -1};
        corvane::raw(raw, t);
        return t;
    };
    using T = std::array<int16_t, 4>;
    EXPECT_EQ(split({35, 0, 20, 45, 0, 0}), (T{35, 20, 45, 0})); // min, max in r2, r3, the rest zero
    EXPECT_EQ(split({35, 0, 0, 0, 0, 0}), (T{35, 0, 0, 0}));     // nothing fits: current only
    EXPECT_EQ(split({30, 40, 25, 0, 0, 0}), (T{30, 25, 40, 0})); // r1, r2 in either order
    EXPECT_EQ(split({28, 0, 15, 0, 54, 0}), (T{28, 15, 54, 0})); // r2, r4, as many drives report it
    // r2, r4 do not bracket the current value: the fourth value is LE(r4, r5).
    EXPECT_EQ(split({30, 0, 20, 40, 10, 1}), (T{30, 20, 40, 266}));
    EXPECT_EQ(split({30, 0, 20, 121, 0, 0}), (T{30, 20, 121, 0})); // a maximum above 120 is not believed
    EXPECT_EQ(split({38, 0, 0, 0, 17, 0}), (T{38, 0, 0, 0}));
    EXPECT_EQ(split({0, 5, 0, 0, 0, 0}), (T{0, 0, 0, 0})); // all zero from r2 on: the first layout
    EXPECT_EQ(leadingInteger(" \t-12 (3)"), -12);
    EXPECT_EQ(leadingInteger("+7"), 7);
    EXPECT_EQ(leadingInteger("99999999999999999999"), LLONG_MAX);
    EXPECT_EQ(leadingInteger("-99999999999999999999"), LLONG_MIN);

    EXPECT_EQ(decodeRawAttribute(withRaw({35, 0, 20, 45, 0, 0}), "tempminmax"), "35, 20, 45, 0");
    EXPECT_EQ(decodeRawAttribute(withRaw({30, 0, 20, 40, 10, 1}), "TempMinMax"), "30, 20, 40, 266");
}
