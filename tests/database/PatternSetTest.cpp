// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/DriveDatabase.h"
#include "database/PatternSet.h"
#include "QStringPrinter.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

// Every pattern of the set tried on its own: what matches() must give.
std::vector<int> oneByOne(const std::vector<Pattern> &patterns, const std::string &text)
{
    std::vector<int> out;
    for (size_t i = 0; i < patterns.size(); ++i)
        if (patterns[i].search(text))
            out.push_back(int(i));
    return out;
}

} // namespace

// The literal prefilter may only rule out patterns that cannot match: the
// set's answer equals trying each pattern, on syntax that tests each way
// the prefilter reads a pattern.
TEST(PatternSet, PrefilterNeverHidesAMatch)
{
    const QStringList sources{
        "ST3(160|250)023AS",  "(Hitachi )?HTS5416",    "(IBM-|Hitachi )?IC35L0[12]0",
        "WDC WD(25|32)00BEVT", "SAMSUNG SSD 8[45]0",   "AB?C",
        "X+Y",                 "A{2}B",                "Q{,3}R",
        "M\\.2 \\(S42\\)",     "a|",                   "(|x)yz",
        "[]a]bc",              "[^]x]yz",              "x[[:digit:]]+y",
        "\\d+GB",              "\\bword\\b",           "(?i)case",
        "\\x41BC",             "(K|L)*MN",             "(P(Q|R))+S",
        "Ü+ber",               "caf\u00e9 au lait",    "^ANCHOR$",
        "-",                   "x{3}",                 "a.b",
        "(ALPHA|BETA)-[0-9]",  "(A|)B",                "T+?U",
        "(M2|CF)[0-9]{3}X",    "SD[A-Z0-9]{2}[1-3]",  "Z\\+Z",
    };
    std::vector<Pattern> patterns;
    PatternSet set;
    for (const QString &s : sources) {
        patterns.emplace_back(s);
        // The set's validity check agrees with a full compile.
        EXPECT_EQ(set.add(s), patterns.back().valid()) << s.toStdString();
    }
    set.compile();
    const std::vector<std::string> texts{
        "ST3160023AS",     "ST3250023AS x", "HTS5416",        "Hitachi HTS541680J9SA00",
        "IC35L010",        "IBM-IC35L020",  "WDC WD3200BEVT", "WDC WD2500BEVT-00",
        "SAMSUNG SSD 850", "AC",            "ABC",            "XY",
        "XXY",             "AAB",           "B",              "R",
        "QQR",             "M.2 (S42)",     "M2 S42",         "",
        "yz",              "xyz",           "]bc",            "abc",
        "xyz]",            "Qyz",           "x12y",           "12GB",
        "a word",          "CASE",          "case",           "ABC",
        "MN",              "KLKMN",         "PQS",            "PQPRS",
        "Über",            "ÜÜber",         "café au lait",   "ANCHOR",
        " ANCHOR",         "a-b",           "xxx",            "axb",
        "BETA-4",          "B",             "TU",             "TTTU",
        "M2123X",          "CF999X",        "SDAB2",          "Z+Z",
        "ZZ",              "-",             "NO SUCH TEXT",
    };
    std::vector<int> got;
    for (const std::string &t : texts) {
        set.matches(t, got);
        EXPECT_EQ(got, oneByOne(patterns, t)) << t;
        set.candidates(t, got);
        for (int i : oneByOne(patterns, t)) {
            EXPECT_TRUE(std::binary_search(got.begin(), got.end(), i)) << t << " / " << sources[i].toStdString();
            EXPECT_TRUE(PatternSet::mayMatch(sources[i].toStdString(), t)) << t;
        }
    }
    // The prefilter does rule out: a text with none of the literals has no candidate
    // but the patterns that demand nothing readable.
    set.candidates("zzzz", got);
    EXPECT_LT(got.size(), 10u);
    EXPECT_FALSE(PatternSet::mayMatch("WDC WD(25|32)00BEVT", "WDC WD2500AAJS"));
    EXPECT_TRUE(PatternSet::mayMatch("(?i)wdc", "WDC"));

    // Broken patterns stay broken, and match nothing.
    PatternSet broken;
    EXPECT_FALSE(broken.add("BROKEN("));
    EXPECT_FALSE(broken.add("[z-a]"));
    EXPECT_FALSE(broken.add("a**"));
    EXPECT_FALSE(broken.add("x{1001}"));
    EXPECT_FALSE(broken.add(""));
    EXPECT_TRUE(broken.add("ok"));
    broken.compile();
    broken.matches("BROKEN( [z-a] a** ok", got);
    EXPECT_EQ(got, std::vector<int>{5});
    EXPECT_FALSE(broken.matchesAt(0, "BROKEN("));
    EXPECT_FALSE(broken.matchesAt(99, "ok"));
}

// The real database: for every model the file names as tested, the set
// gives exactly what trying every model pattern gives.
TEST(PatternSet, RealModelPatterns)
{
    QFile f(QStringLiteral("/usr/share/smartmontools/drivedb.h"));
    if (!f.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "smartmontools' drivedb.h is not installed (apt-get install smartmontools)";
    const QByteArray text = f.readAll();
    const DriveDatabase db = DriveDatabase::parse(text);
    std::vector<Pattern> patterns;
    PatternSet set;
    for (const QVariant &d : db.drives()) {
        const QString model = d.toMap().value(QStringLiteral("model")).toString();
        patterns.emplace_back(model);
        set.add(model);
    }
    set.compile();
    ASSERT_GT(patterns.size(), 500u);

    static const QRegularExpression tested(QStringLiteral("tested with ([^\n]*)"));
    static const QRegularExpression pair(QStringLiteral("([A-Za-z0-9][^/,:()]*)/([^,\\s]+)"));
    std::vector<std::string> models{"NO SUCH DRIVE MODEL 1234-56", "", "-", "0x1234:0x5678"};
    for (auto t = tested.globalMatch(QString::fromUtf8(text)); t.hasNext();)
        for (auto p = pair.globalMatch(t.next().captured(1)); p.hasNext();)
            models.push_back(p.next().captured(1).trimmed().toStdString());
    ASSERT_GT(models.size(), 300u);
    std::vector<int> got;
    size_t candidates = 0;
    for (const std::string &m : models) {
        set.matches(m, got);
        ASSERT_EQ(got, oneByOne(patterns, m)) << m;
        set.candidates(m, got);
        candidates += got.size();
    }
    // Few patterns need their automaton per lookup.
    EXPECT_LT(candidates, models.size() * 6);
}
