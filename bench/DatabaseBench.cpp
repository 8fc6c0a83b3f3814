// SPDX-License-Identifier: GPL-3.0-or-later
// The drive database's parse and lookup beside the pattern engines it could
// have used (one RE2::Set over every pattern, loops over separately compiled
// patterns), plus the other hot paths of the database and attribute code.
#include "database/DriveDatabase.h"
#include "database/thVendorDB.h"
#include "drive/Attributes.h"

#include <QFile>
#include <QRegularExpression>

#include <benchmark/benchmark.h>
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <re2/re2.h>
#include <re2/set.h>
#include <regex.h>

#include <malloc.h>
#include <memory>
#include <vector>

using namespace corvane;

namespace {

const char *const kDriveDb = "/usr/share/smartmontools/drivedb.h";
const char *const kPciIds = "/usr/share/misc/pci.ids";

QByteArray readFile(const char *path)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray &driveDbText()
{
    static const QByteArray text = readFile(kDriveDb);
    return text;
}

const DriveDatabase &database()
{
    static const DriveDatabase db = DriveDatabase::parse(driveDbText());
    return db;
}

std::vector<std::string> modelPatterns()
{
    std::vector<std::string> out;
    for (const QVariant &d : database().drives())
        out.push_back(d.toMap().value(QStringLiteral("model")).toString().toStdString());
    return out;
}

// A model no entry matches (the worst case: every pattern is tried), and one
// that the first drive entry matches.
const std::string kMiss = "NO SUCH DRIVE MODEL 1234-56";
const std::string kFirstHit = "SFCF4096H2BU4TO-I-MS-527-STD";

bool haveFiles(benchmark::State &state)
{
    if (driveDbText().isEmpty()) {
        state.SkipWithError("drivedb.h not installed (apt-get install smartmontools)");
        return false;
    }
    return true;
}

// --- parse --------------------------------------------------------------

void BM_ParseDriveDb(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    for (auto _ : state) {
        DriveDatabase db = DriveDatabase::parse(driveDbText());
        benchmark::DoNotOptimize(db);
    }
    state.counters["entries"] = double(database().drives().size());
}
BENCHMARK(BM_ParseDriveDb)->Unit(benchmark::kMillisecond);

// --- lookup: the engine in use ------------------------------------------

void BM_Lookup_Corvane(benchmark::State &state, const std::string &model)
{
    if (!haveFiles(state))
        return;
    const QString m = QString::fromStdString(model), fw = QStringLiteral("1.0");
    for (auto _ : state)
        benchmark::DoNotOptimize(database().lookupIndex(m, fw));
}
BENCHMARK_CAPTURE(BM_Lookup_Corvane, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_Corvane, first_hit, kFirstHit);

// The one-shot path of corvanectl lookup: text to answer, no database kept.
void BM_LookupInText(benchmark::State &state, const std::string &model)
{
    if (!haveFiles(state))
        return;
    const QString m = QString::fromStdString(model), fw = QStringLiteral("1.0");
    for (auto _ : state)
        benchmark::DoNotOptimize(DriveDatabase::lookupInText(driveDbText(), m, fw));
}
BENCHMARK_CAPTURE(BM_LookupInText, miss, kMiss)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LookupInText, first_hit, kFirstHit)->Unit(benchmark::kMillisecond);

// --- lookup: the candidates, model patterns only ------------------------

void BM_Lookup_RE2Set(benchmark::State &state, const std::string &text)
{
    if (!haveFiles(state))
        return;
    RE2::Options o;
    o.set_max_mem(int64_t(32) << 20);
    RE2::Set set(o, RE2::UNANCHORED);
    for (const std::string &p : modelPatterns())
        set.Add(p, nullptr);
    set.Compile();
    std::vector<int> hits;
    for (auto _ : state)
        benchmark::DoNotOptimize(set.Match(text, &hits));
}
BENCHMARK_CAPTURE(BM_Lookup_RE2Set, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_RE2Set, first_hit, kFirstHit);

void BM_Lookup_RE2Loop(benchmark::State &state, const std::string &text)
{
    if (!haveFiles(state))
        return;
    std::vector<std::unique_ptr<RE2>> res;
    for (const std::string &p : modelPatterns())
        res.push_back(std::make_unique<RE2>(p));
    for (auto _ : state) {
        int found = -1;
        for (size_t i = 1; i < res.size() && found < 0; ++i)
            if (RE2::PartialMatch(text, *res[i]))
                found = int(i);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK_CAPTURE(BM_Lookup_RE2Loop, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_RE2Loop, first_hit, kFirstHit);

void BM_Lookup_PosixLoop(benchmark::State &state, const std::string &text)
{
    if (!haveFiles(state))
        return;
    std::vector<regex_t> res;
    for (const std::string &p : modelPatterns()) {
        regex_t r;
        if (regcomp(&r, p.c_str(), REG_EXTENDED | REG_NOSUB) == 0)
            res.push_back(r);
    }
    for (auto _ : state) {
        int found = -1;
        for (size_t i = 1; i < res.size() && found < 0; ++i)
            if (regexec(&res[i], text.c_str(), 0, nullptr, 0) == 0)
                found = int(i);
        benchmark::DoNotOptimize(found);
    }
    for (regex_t &r : res)
        regfree(&r);
}
BENCHMARK_CAPTURE(BM_Lookup_PosixLoop, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_PosixLoop, first_hit, kFirstHit);

void BM_Lookup_PCRE2JitLoop(benchmark::State &state, const std::string &text)
{
    if (!haveFiles(state))
        return;
    std::vector<pcre2_code *> res;
    for (const std::string &p : modelPatterns()) {
        int err = 0;
        PCRE2_SIZE off = 0;
        pcre2_code *c = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.c_str()), p.size(), 0, &err, &off, nullptr);
        if (c) {
            pcre2_jit_compile(c, PCRE2_JIT_COMPLETE);
            res.push_back(c);
        }
    }
    pcre2_match_data *md = pcre2_match_data_create(1, nullptr);
    for (auto _ : state) {
        int found = -1;
        for (size_t i = 1; i < res.size() && found < 0; ++i)
            if (pcre2_match(res[i], reinterpret_cast<PCRE2_SPTR>(text.c_str()), text.size(), 0, 0, md, nullptr) >= 0)
                found = int(i);
        benchmark::DoNotOptimize(found);
    }
    pcre2_match_data_free(md);
    for (pcre2_code *c : res)
        pcre2_code_free(c);
}
BENCHMARK_CAPTURE(BM_Lookup_PCRE2JitLoop, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_PCRE2JitLoop, first_hit, kFirstHit);

void BM_Lookup_QRegularExpressionLoop(benchmark::State &state, const std::string &text)
{
    if (!haveFiles(state))
        return;
    std::vector<QRegularExpression> res;
    for (const std::string &p : modelPatterns()) {
        QRegularExpression r(QString::fromStdString(p));
        r.optimize();
        res.push_back(r);
    }
    const QString t = QString::fromStdString(text);
    for (auto _ : state) {
        int found = -1;
        for (size_t i = 1; i < res.size() && found < 0; ++i)
            if (res[i].match(t).hasMatch())
                found = int(i);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK_CAPTURE(BM_Lookup_QRegularExpressionLoop, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_QRegularExpressionLoop, first_hit, kFirstHit);

// --- compiling every pattern, per engine --------------------------------

void BM_Compile_RE2Set(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    const auto patterns = modelPatterns();
    for (auto _ : state) {
        RE2::Set set(RE2::Options(), RE2::UNANCHORED);
        for (const std::string &p : patterns)
            set.Add(p, nullptr);
        benchmark::DoNotOptimize(set.Compile());
    }
}
BENCHMARK(BM_Compile_RE2Set)->Unit(benchmark::kMillisecond);

void BM_Compile_Posix(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    const auto patterns = modelPatterns();
    for (auto _ : state)
        for (const std::string &p : patterns) {
            regex_t r;
            if (regcomp(&r, p.c_str(), REG_EXTENDED | REG_NOSUB) == 0)
                regfree(&r);
        }
}
BENCHMARK(BM_Compile_Posix)->Unit(benchmark::kMillisecond);

void BM_Compile_PCRE2Jit(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    const auto patterns = modelPatterns();
    for (auto _ : state)
        for (const std::string &p : patterns) {
            int err = 0;
            PCRE2_SIZE off = 0;
            pcre2_code *c = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.c_str()), p.size(), 0, &err, &off, nullptr);
            if (c) {
                pcre2_jit_compile(c, PCRE2_JIT_COMPLETE);
                pcre2_code_free(c);
            }
        }
}
BENCHMARK(BM_Compile_PCRE2Jit)->Unit(benchmark::kMillisecond);

// --- attribute pass and vendor database ---------------------------------

void BM_AttributesModel(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    // A real page with all 30 slots in use.
    QFile s(QStringLiteral(CORVANE_TEST_DATA "/ata-pages/Maxtor_96147H8--BAC51KJ0/smart.bin"));
    QFile t(QStringLiteral(CORVANE_TEST_DATA "/ata-pages/Maxtor_96147H8--BAC51KJ0/thresholds.bin"));
    if (!s.open(QIODevice::ReadOnly) || !t.open(QIODevice::ReadOnly)) {
        state.SkipWithError("test pages missing");
        return;
    }
    const QByteArray data = s.readAll(), thresh = t.readAll();
    const std::span<const uint8_t> d(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
    const std::span<const uint8_t> th(reinterpret_cast<const uint8_t *>(thresh.constData()), size_t(thresh.size()));
    const QString model = QStringLiteral("Maxtor 96147H8"), fw = QStringLiteral("BAC51KJ0");
    const QVariantMap ignore{{QStringLiteral("a194"), true}};
    for (auto _ : state)
        benchmark::DoNotOptimize(attributesModel(database(), d, th, model, fw, ignore, false));
}
BENCHMARK(BM_AttributesModel)->Unit(benchmark::kMicrosecond);

void BM_ParsePciIds(benchmark::State &state)
{
    static const QByteArray text = readFile(kPciIds);
    if (text.isEmpty()) {
        state.SkipWithError("pci.ids not installed (apt-get install pci.ids)");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(thVendorDB::parse(text));
    state.counters["vendors"] = double(thVendorDB::parse(text).size() - 1);
}
BENCHMARK(BM_ParsePciIds)->Unit(benchmark::kMillisecond);

// What vendor names need: the one-pass index, devices read on demand.
void BM_IndexPciIds(benchmark::State &state)
{
    static const QByteArray text = readFile(kPciIds);
    if (text.isEmpty()) {
        state.SkipWithError("pci.ids not installed (apt-get install pci.ids)");
        return;
    }
    for (auto _ : state) {
        VendorIndex index(text);
        benchmark::DoNotOptimize(index.vendorName(u"8086"));
    }
    state.counters["vendors"] = double(VendorIndex(text).size());
}
BENCHMARK(BM_IndexPciIds)->Unit(benchmark::kMillisecond);

// Heap held by one parsed database with its compiled patterns, after lookups
// have warmed the matching automaton.
void BM_DatabaseMemory(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto db = std::make_unique<DriveDatabase>(DriveDatabase::parse(driveDbText()));
        for (const char *m : {"NO SUCH DRIVE", "ST9160821AS", "WDC WD2500JB-00REA0", "Samsung SSD 850 EVO 250GB"})
            benchmark::DoNotOptimize(db->lookupIndex(QString::fromLatin1(m), QStringLiteral("1")));
        state.counters["heap_MB"] = double(mallinfo2().uordblks - before) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_DatabaseMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
