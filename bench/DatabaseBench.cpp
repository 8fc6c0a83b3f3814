// SPDX-License-Identifier: GPL-3.0-or-later
// The drive database's parse and lookup beside the other way RE2 offers to
// match many patterns (FilteredRE2), plus the other hot paths of the database
// and attribute code.
#include "database/DriveDatabase.h"
#include "database/thVendorDB.h"
#include "drive/Attributes.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <re2/filtered_re2.h>
#include <re2/re2.h>
#include <re2/set.h>

#include <cctype>
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
// A Seagate whose text holds the literals of many other patterns.
const std::string kManyCandidates = "ST6000DM003-2CY186";

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

// Parse plus the first lookup, which builds the two matching programs it
// needs: what a process pays before its first answer.
void BM_ParseAndCompileDriveDb(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    for (auto _ : state) {
        DriveDatabase db = DriveDatabase::parse(driveDbText());
        benchmark::DoNotOptimize(db.lookupIndex(QStringLiteral("ST9160821AS"), QStringLiteral("3.CLH")));
    }
}
BENCHMARK(BM_ParseAndCompileDriveDb)->Unit(benchmark::kMillisecond);

// Parse plus every matching program (brokenPatterns() builds them all).
void BM_ParseAndCompileAllDriveDb(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(DriveDatabase::parse(driveDbText()).brokenPatterns());
}
BENCHMARK(BM_ParseAndCompileAllDriveDb)->Unit(benchmark::kMillisecond);

// --- lookup: the engine in use (model and firmware, whole text) ---------

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
BENCHMARK_CAPTURE(BM_Lookup_Corvane, many_candidates, kManyCandidates);

// --- the alternatives, model patterns only, whole text ------------------

// One RE2::Set over every model pattern, anchored at both ends (the database
// splits it by literal prefix or first character and builds the parts on
// demand).
struct AnchoredSet
{
    RE2::Options options = [] {
        RE2::Options o;
        o.set_log_errors(false);
        o.set_max_mem(int64_t(64) << 20);
        return o;
    }();
    RE2::Set set{options, RE2::ANCHOR_BOTH};
    AnchoredSet()
    {
        for (const std::string &p : modelPatterns())
            set.Add(p, nullptr);
        set.Compile();
    }
};

void BM_Compile_RE2Set(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(AnchoredSet());
}
BENCHMARK(BM_Compile_RE2Set)->Unit(benchmark::kMillisecond);

void BM_Lookup_RE2Set(benchmark::State &state, const std::string &text)
{
    if (!haveFiles(state))
        return;
    static const AnchoredSet s;
    std::vector<int> hits;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.set.Match(text, &hits));
}
BENCHMARK_CAPTURE(BM_Lookup_RE2Set, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_RE2Set, first_hit, kFirstHit);
BENCHMARK_CAPTURE(BM_Lookup_RE2Set, many_candidates, kManyCandidates);

// re2::FilteredRE2: every pattern compiled on its own, plus the literal
// "atoms" a match needs; the atoms found in the (lower-cased) text pick the
// patterns to try. The atoms are found with one unanchored RE2::Set.
struct Filtered
{
    re2::FilteredRE2 filter{3};
    std::unique_ptr<RE2::Set> atoms;
    Filtered()
    {
        RE2::Options o;
        o.set_log_errors(false);
        int id = 0;
        for (const std::string &p : modelPatterns())
            filter.Add("^(?:" + p + ")$", o, &id);
        std::vector<std::string> literal;
        filter.Compile(&literal);
        o.set_literal(true);
        atoms = std::make_unique<RE2::Set>(o, RE2::UNANCHORED);
        for (const std::string &a : literal)
            atoms->Add(a, nullptr);
        atoms->Compile();
    }
    int first(const std::string &text) const
    {
        std::string lower = text;
        for (char &c : lower)
            c = char(std::tolower(uchar(c)));
        thread_local std::vector<int> found;
        atoms->Match(lower, &found);
        return filter.FirstMatch(text, found);
    }
};

void BM_Compile_FilteredRE2(benchmark::State &state)
{
    if (!haveFiles(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(Filtered());
}
BENCHMARK(BM_Compile_FilteredRE2)->Unit(benchmark::kMillisecond);

void BM_Lookup_FilteredRE2(benchmark::State &state, const std::string &text)
{
    if (!haveFiles(state))
        return;
    static const Filtered f;
    for (auto _ : state)
        benchmark::DoNotOptimize(f.first(text));
}
BENCHMARK_CAPTURE(BM_Lookup_FilteredRE2, miss, kMiss);
BENCHMARK_CAPTURE(BM_Lookup_FilteredRE2, first_hit, kFirstHit);
BENCHMARK_CAPTURE(BM_Lookup_FilteredRE2, many_candidates, kManyCandidates);

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
