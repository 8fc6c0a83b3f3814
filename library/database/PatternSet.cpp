// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/PatternSet.h"

#include <QLoggingCategory>

#include <re2/re2.h>
#include <re2/set.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

Q_LOGGING_CATEGORY(lcPatterns, "corvane.patterns")

namespace corvane {

namespace {

RE2::Options patternOptions()
{
    RE2::Options o;
    o.set_log_errors(false);
    return o;
}

// --- what a pattern demands of the text --------------------------------
//
// A pattern is read as alternatives (top-level "|"), each a sequence of
// items. A run of plain characters that no quantifier makes optional must
// occur in any text the alternative matches, and so must one of the texts a
// non-optional group demands. The reading is conservative: whatever it does
// not understand ("(?", unusual escapes) yields no demand at all, so the
// pattern is always a candidate. Only ASCII counts as plain; any other
// character ends a run.

// The demands are kept flat: literal texts in one pool, a demand is a run
// of texts (any one of them), an alternative a run of demands (all of them).
struct Span
{
    uint32_t offset, length;
};
struct Demand
{
    uint32_t first, count; // into texts
};
struct Demands
{
    std::string pool;
    std::vector<Span> texts;
    std::vector<Demand> demands;

    std::string_view text(Span s) const { return std::string_view(pool).substr(s.offset, s.length); }
    size_t shortest(const Demand &dm) const
    {
        size_t n = SIZE_MAX;
        for (uint32_t t = dm.first; t < dm.first + dm.count; ++t)
            n = std::min(n, size_t(texts[t].length));
        return n;
    }
    bool satisfied(const Demand &dm, std::string_view in) const
    {
        for (uint32_t t = dm.first; t < dm.first + dm.count; ++t)
            if (in.find(text(texts[t])) != std::string_view::npos)
                return true;
        return false;
    }
};

class Reader
{
public:
    explicit Reader(Demands &out) : out(out) {}

    // Calls f(first, count) with the demands of each top-level alternative
    // of p, appended to out. False, with out as it was, when p is not
    // understood (it may match anything).
    template<typename F>
    bool read(std::string_view p, F &&f)
    {
        const Mark start = mark();
        for (size_t from = 0;;) {
            const size_t end = alternativeEnd(p, from);
            const uint32_t first = uint32_t(out.demands.size());
            if (!understood || !demandsOf(p.substr(from, end - from))) {
                rewind(start);
                return false;
            }
            f(first, uint32_t(out.demands.size()) - first);
            if (end >= p.size())
                return true;
            from = end + 1;
        }
    }

private:
    Demands &out;
    bool understood = true;

    struct Mark
    {
        size_t pool, texts, demands;
    };
    Mark mark() const { return {out.pool.size(), out.texts.size(), out.demands.size()}; }
    void rewind(const Mark &m)
    {
        out.pool.resize(m.pool);
        out.texts.resize(m.texts);
        out.demands.resize(m.demands);
    }

    size_t fail()
    {
        understood = false;
        return std::string_view::npos;
    }
    bool giveUp()
    {
        understood = false;
        return false;
    }

    // p[i] == '['; the index after the closing bracket.
    size_t skipClass(std::string_view p, size_t i)
    {
        size_t j = i + 1;
        if (j < p.size() && p[j] == '^')
            ++j;
        if (j < p.size() && p[j] == ']') // a leading bracket is a member
            ++j;
        while (j < p.size() && p[j] != ']') {
            if (p[j] == '\\') {
                if (j + 1 < p.size() && p[j + 1] == 'Q')
                    return fail();
                j += 2;
                continue;
            }
            if (p[j] == '[' && j + 1 < p.size() && p[j + 1] == ':') {
                const size_t end = p.find(":]", j + 2);
                if (end == std::string_view::npos)
                    return fail();
                j = end + 2;
                continue;
            }
            ++j;
        }
        return j < p.size() ? j + 1 : fail();
    }

    // p[i] == '('; the index of the matching ')'.
    size_t closingParen(std::string_view p, size_t i)
    {
        int level = 0;
        for (size_t j = i; j < p.size() && understood;) {
            const char c = p[j];
            if (c == '\\') {
                j += 2;
            } else if (c == '[') {
                j = skipClass(p, j);
            } else {
                if (c == '(')
                    ++level;
                else if (c == ')' && --level == 0)
                    return j;
                ++j;
            }
        }
        return fail();
    }

    // The index of the "|" that ends the alternative starting at from, or p.size().
    size_t alternativeEnd(std::string_view p, size_t from)
    {
        int depth = 0;
        for (size_t i = from; i < p.size() && understood;) {
            const char c = p[i];
            if (c == '\\') {
                i += 2;
                continue;
            }
            if (c == '[') {
                i = skipClass(p, i);
                continue;
            }
            if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
            else if (c == '|' && depth == 0)
                return i;
            ++i;
        }
        return p.size();
    }

    enum class Repeat { Once, Optional, OneOrMore };

    // Reads a quantifier at p[i], if any, moving i past it. A counted
    // repetition counts as optional: "{0}" and "{0,n}" are.
    Repeat quantifier(std::string_view p, size_t &i)
    {
        if (i >= p.size())
            return Repeat::Once;
        Repeat r = Repeat::Once;
        if (p[i] == '?' || p[i] == '*') {
            r = Repeat::Optional;
            ++i;
        } else if (p[i] == '+') {
            r = Repeat::OneOrMore;
            ++i;
        } else if (p[i] == '{') {
            const size_t end = p.find('}', i);
            if (end == std::string_view::npos) {
                fail();
                return Repeat::Optional;
            }
            r = Repeat::Optional;
            i = end + 1;
        } else {
            return r;
        }
        if (i < p.size() && p[i] == '?') // non-greedy
            ++i;
        return r;
    }

    // Appends every demand of one alternative (no top-level "|" in it).
    bool demandsOf(std::string_view a)
    {
        size_t runStart = out.pool.size();
        const auto endRun = [&] {
            if (out.pool.size() > runStart) {
                out.demands.push_back({uint32_t(out.texts.size()), 1});
                out.texts.push_back({uint32_t(runStart), uint32_t(out.pool.size() - runStart)});
            }
            runStart = out.pool.size();
        };
        size_t i = 0;
        while (i < a.size() && understood) {
            const unsigned char c = static_cast<unsigned char>(a[i]);
            if (c == '(') {
                if (i + 1 < a.size() && a[i + 1] == '?')
                    return giveUp();
                const size_t close = closingParen(a, i);
                if (!understood)
                    return false;
                size_t next = close + 1;
                const Repeat r = quantifier(a, next);
                endRun();
                if (r != Repeat::Optional && !anyOf(a.substr(i + 1, close - i - 1)))
                    return false;
                runStart = out.pool.size();
                i = next;
                continue;
            }
            size_t next = i + 1;
            bool plain = false;
            char literal = 0;
            if (c == '[') {
                next = skipClass(a, i);
                if (!understood)
                    return false;
            } else if (c == '.' || c == '^' || c == '$') {
            } else if (c == '{' || c == '}' || c == '*' || c == '+' || c == '?' || c == ')') {
                endRun();
                i = next;
                continue;
            } else if (c == '\\') {
                if (i + 1 >= a.size())
                    return giveUp();
                const unsigned char e = static_cast<unsigned char>(a[i + 1]);
                next = i + 2;
                if (e >= 0x80)
                    return giveUp();
                if (std::isalnum(e) || e == '_') {
                    // Classes and zero-width assertions; anything with an
                    // argument (\x41, \pN, \Q...\E) is beyond this reading.
                    if (!std::strchr("dDwWsSbBAz", e))
                        return giveUp();
                } else {
                    plain = e != 0;
                    literal = char(e);
                }
            } else if (c >= 0x80) {
                while (next < a.size() && (static_cast<unsigned char>(a[next]) & 0xC0) == 0x80)
                    ++next;
            } else {
                plain = c != 0;
                literal = char(c);
            }
            const Repeat r = quantifier(a, next);
            if (!plain || r == Repeat::Optional) {
                endRun();
            } else {
                out.pool += literal;
                if (r == Repeat::OneOrMore)
                    endRun();
            }
            i = next;
        }
        endRun();
        return understood;
    }

    // Appends one demand: texts of which any match of p contains one, the
    // best demand of each of its alternatives (the one whose shortest text
    // is longest). Appends nothing when some alternative demands nothing.
    bool anyOf(std::string_view p)
    {
        const Mark start = mark();
        std::vector<Span> chosen;
        for (size_t from = 0;;) {
            const size_t end = alternativeEnd(p, from);
            const size_t first = out.demands.size();
            if (!understood || !demandsOf(p.substr(from, end - from)))
                return false;
            if (out.demands.size() == first) {
                rewind(start);
                return true;
            }
            size_t best = first;
            for (size_t k = first + 1; k < out.demands.size(); ++k) {
                const size_t a = out.shortest(out.demands[k]), b = out.shortest(out.demands[best]);
                if (a > b || (a == b && out.demands[k].count < out.demands[best].count))
                    best = k;
            }
            const Demand &dm = out.demands[best];
            chosen.insert(chosen.end(), out.texts.begin() + dm.first, out.texts.begin() + dm.first + dm.count);
            if (end >= p.size())
                break;
            from = end + 1;
        }
        // The chosen texts stay where they are in the pool.
        out.texts.resize(start.texts);
        out.demands.resize(start.demands);
        out.demands.push_back({uint32_t(out.texts.size()), uint32_t(chosen.size())});
        out.texts.insert(out.texts.end(), chosen.begin(), chosen.end());
        return true;
    }
};

// True only for patterns written in a plain subset of the syntax that RE2
// certainly accepts: ASCII literals and escaped punctuation, ".", "^", "$",
// \d \w \s and their negations, simple bracket classes, groups, "|", and
// "? * +" (lazy too) or a counted repetition up to 1000 of a single
// character. Everything else goes to RE2's own parser, which costs a lot
// more (drivedb.h is written all in the plain subset).
bool plainlyValid(std::string_view p)
{
    int depth = 0;
    bool repeatable = false; // an item to which a quantifier may apply
    bool single = false;     // ... and it is one character wide
    const auto plainChar = [](unsigned char c) {
        return c >= 0x20 && c < 0x7F && !std::strchr(".[]()|?*+{}^$\\", c);
    };
    const auto number = [&](size_t &i, int &value) {
        const size_t from = i;
        value = 0;
        while (i < p.size() && i - from < 4 && std::isdigit(static_cast<unsigned char>(p[i])))
            value = value * 10 + (p[i++] - '0');
        return i > from && !(i < p.size() && std::isdigit(static_cast<unsigned char>(p[i])));
    };
    for (size_t i = 0; i < p.size();) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (plainChar(c) || c == '.') {
            repeatable = single = true;
            ++i;
        } else if (c == '\\') {
            if (i + 1 >= p.size())
                return false;
            const unsigned char e = static_cast<unsigned char>(p[i + 1]);
            if (!(std::strchr("dDwWsS", e) || (e >= 0x20 && e < 0x7F && !std::isalnum(e) && e != '_')) || e == 0)
                return false;
            repeatable = single = true;
            i += 2;
        } else if (c == '[') {
            size_t j = i + 1;
            if (j < p.size() && p[j] == '^')
                ++j;
            if (j < p.size() && p[j] == ']')
                return false; // "[]...]" and "[^]...]": left to RE2
            if (j < p.size() && p[j] == '-')
                ++j;
            const size_t first = j;
            while (j < p.size() && p[j] != ']') {
                const unsigned char lo = static_cast<unsigned char>(p[j]);
                if (lo == '-' && j + 1 < p.size() && p[j + 1] == ']' && j > first)
                    break; // a closing "-" is a member
                if (lo == '-' || (!plainChar(lo) && (lo == 0 || !std::strchr(".|?*+(){}$", lo))))
                    return false;
                if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
                    const unsigned char hi = static_cast<unsigned char>(p[j + 2]);
                    if (!plainChar(hi) || hi == '-' || hi < lo)
                        return false;
                    j += 3;
                } else {
                    ++j;
                }
            }
            if (j < p.size() && p[j] == '-')
                ++j;
            if (j >= p.size() || p[j] != ']' || j == i + 1)
                return false;
            repeatable = single = true;
            i = j + 1;
        } else if (c == '(') {
            if (i + 1 < p.size() && (p[i + 1] == '?' || p[i + 1] == ')'))
                return false;
            if (++depth > 100)
                return false;
            repeatable = false;
            ++i;
        } else if (c == ')') {
            if (--depth < 0)
                return false;
            repeatable = true;
            single = false;
            ++i;
        } else if (c == '|' || c == '^' || c == '$') {
            repeatable = false;
            ++i;
        } else if (c == '?' || c == '*' || c == '+') {
            if (!repeatable)
                return false;
            ++i;
            if (i < p.size() && p[i] == '?')
                ++i;
            repeatable = false;
        } else if (c == '{') {
            if (!repeatable || !single)
                return false;
            ++i;
            int low = 0, high = 0;
            if (!number(i, low))
                return false;
            high = low;
            if (i < p.size() && p[i] == ',') {
                ++i;
                if (i < p.size() && p[i] != '}' && !number(i, high))
                    return false;
                if (i < p.size() && p[i] == '}' && p[i - 1] == ',')
                    high = low;
            }
            if (i >= p.size() || p[i] != '}' || high < low || high > 1000)
                return false;
            ++i;
            if (i < p.size() && p[i] == '?')
                ++i;
            repeatable = false;
        } else {
            return false;
        }
    }
    return depth == 0;
}

// Up to four leading bytes of a text, as one number for a quick compare.
inline uint32_t prefixOf(const char *t, size_t n)
{
    uint32_t v = 0;
    for (size_t i = 0; i < std::min<size_t>(n, 4); ++i)
        v |= uint32_t(uint8_t(t[i])) << (8 * i);
    return v;
}

constexpr uint32_t kFrequencySlots = 16384;

} // namespace

struct PatternSet::Impl
{
    struct Alternative // all of its demands, the key excepted
    {
        int slot;
        uint32_t first, count; // into demands
        int key;               // the demand that is indexed, -1 when none
    };
    struct Entry // a key text and the alternative it stands for
    {
        Span text;
        uint32_t prefix; // its leading bytes, see prefixOf()
        uint32_t alternative;
    };
    struct Compiled
    {
        std::atomic<RE2 *> re{nullptr};
        std::atomic<bool> failed{false};
    };

    std::vector<std::string> sources; // by slot; empty: matches nothing
    Demands demands;
    std::vector<Alternative> alternatives;
    std::vector<uint32_t> unkeyed; // alternatives checked for every text
    // Key texts by the hash of their leading bytes: those of four bytes
    // and more by four (few share them), the shorter ones by two.
    struct Index
    {
        int bits = 4;
        std::vector<uint32_t> start{std::vector<uint32_t>(17, 0)};
        std::vector<Entry> entries;

        uint32_t bucketOf(uint32_t lead) const { return (lead * 0x9E3779B1u) >> (32 - bits); }
    };
    Index shortKeys, longKeys;
    std::unique_ptr<RE2::Set> checker;

    std::unique_ptr<Compiled[]> compiled;
    std::mutex compiling;

    ~Impl()
    {
        if (compiled)
            for (size_t i = 0; i < sources.size(); ++i)
                delete compiled[i].re.load();
    }

    bool satisfied(const Alternative &a, std::string_view text) const
    {
        for (uint32_t k = a.first; k < a.first + a.count; ++k)
            if (int(k) != a.key && !demands.satisfied(demands.demands[k], text))
                return false;
        return true;
    }
};

PatternSet::PatternSet() : d(std::make_unique<Impl>()) {}
PatternSet::~PatternSet() = default;
PatternSet::PatternSet(PatternSet &&) noexcept = default;
PatternSet &PatternSet::operator=(PatternSet &&) noexcept = default;

bool PatternSet::add(const QString &pattern, QString *error)
{
    const int slot = int(_count++);
    std::string utf8 = pattern.toStdString();
    std::string why = "empty pattern";
    // The checker set only parses (it is never compiled): the same verdict
    // as a compile, at a fraction of its cost; plain patterns need not even that.
    const auto checker = [&]() -> RE2::Set & {
        if (!d->checker)
            d->checker = std::make_unique<RE2::Set>(patternOptions(), RE2::UNANCHORED);
        return *d->checker;
    };
    const bool ok = !utf8.empty() && (plainlyValid(utf8) || checker().Add(utf8, &why) >= 0);
    if (!ok) {
        if (error)
            *error = QString::fromStdString(why);
        d->sources.emplace_back();
        return false;
    }
    const size_t before = d->alternatives.size();
    Reader reader(d->demands);
    const bool understood = reader.read(utf8, [&](uint32_t first, uint32_t count) {
        d->alternatives.push_back({slot, first, count, -1});
    });
    if (!understood) {
        // No demand: a candidate for every text.
        d->alternatives.resize(before);
        d->alternatives.push_back({slot, 0, 0, -1});
    }
    d->sources.push_back(std::move(utf8));
    return true;
}

void PatternSet::compile()
{
    Impl &m = *d;
    m.checker.reset();
    const Demands &all = m.demands;
    // How often each text is demanded: the rarest demand of an alternative
    // is its key, so that few alternatives share one. Texts are counted by
    // hash; a collision only makes the choice a little worse.
    std::vector<uint16_t> frequency(kFrequencySlots, 0);
    const auto slotOf = [&](Span s) {
        uint32_t h = 2166136261u;
        for (const char c : all.text(s))
            h = (h ^ uint8_t(c)) * 16777619u;
        return h & (kFrequencySlots - 1);
    };
    for (const Span &s : all.texts) {
        uint16_t &count = frequency[slotOf(s)];
        count = uint16_t(std::min(count + 1, 0xFFFF));
    }
    for (uint32_t ai = 0; ai < m.alternatives.size(); ++ai) {
        Impl::Alternative &a = m.alternatives[ai];
        std::pair<int, size_t> bestScore{INT_MAX, 0};
        for (uint32_t k = a.first; k < a.first + a.count; ++k) {
            const Demand &dm = all.demands[k];
            int rarest = 0;
            for (uint32_t t = dm.first; t < dm.first + dm.count; ++t)
                rarest = std::max(rarest, int(frequency[slotOf(all.texts[t])]));
            const size_t shortest = all.shortest(dm);
            // A key needs two bytes for its bucket.
            const std::pair<int, size_t> score{rarest, SIZE_MAX - shortest};
            if (shortest >= 2 && score < bestScore) {
                bestScore = score;
                a.key = int(k);
            }
        }
        if (a.key < 0)
            m.unkeyed.push_back(ai);
    }

    // Some four buckets a key.
    std::vector<Impl::Entry> shortKeys, longKeys;
    for (uint32_t ai = 0; ai < m.alternatives.size(); ++ai) {
        const Impl::Alternative &a = m.alternatives[ai];
        if (a.key < 0)
            continue;
        const Demand &dm = all.demands[size_t(a.key)];
        for (uint32_t t = dm.first; t < dm.first + dm.count; ++t) {
            const Span text = all.texts[t];
            (text.length >= 4 ? longKeys : shortKeys)
                .push_back({text, prefixOf(all.pool.data() + text.offset, text.length), ai});
        }
    }
    const auto build = [&](Impl::Index &index, const std::vector<Impl::Entry> &keys, uint32_t leadMask) {
        index.bits = 4;
        while ((size_t(1) << index.bits) < keys.size() * 4 && index.bits < 20)
            ++index.bits;
        const size_t buckets = size_t(1) << index.bits;
        index.start.assign(buckets + 1, 0);
        for (const Impl::Entry &e : keys)
            ++index.start[index.bucketOf(e.prefix & leadMask) + 1];
        for (size_t b = 0; b < buckets; ++b)
            index.start[b + 1] += index.start[b];
        index.entries.resize(keys.size());
        std::vector<uint32_t> fill(index.start.begin(), index.start.end() - 1);
        for (const Impl::Entry &e : keys)
            index.entries[fill[index.bucketOf(e.prefix & leadMask)]++] = e;
    };
    build(m.shortKeys, shortKeys, 0xFFFF);
    build(m.longKeys, longKeys, 0xFFFFFFFF);
    m.compiled = std::make_unique<Impl::Compiled[]>(m.sources.size());
}

void PatternSet::candidates(std::string_view text, std::vector<int> &out) const
{
    out.clear();
    const Impl &m = *d;
    if (!m.compiled)
        return;
    for (uint32_t ai : m.unkeyed)
        if (m.satisfied(m.alternatives[ai], text))
            out.push_back(m.alternatives[ai].slot);
    const char *pool = m.demands.pool.data();
    const auto visit = [&](const Impl::Index &index, uint32_t lead, uint32_t prefix, size_t p) {
        const uint32_t b = index.bucketOf(lead);
        for (uint32_t e = index.start[b]; e < index.start[b + 1]; ++e) {
            const Impl::Entry &entry = index.entries[e];
            const uint32_t mask = entry.text.length >= 4 ? ~0u : (1u << (8 * entry.text.length)) - 1;
            if ((prefix & mask) == entry.prefix && entry.text.length <= text.size() - p
                && (entry.text.length <= 4
                    || std::memcmp(text.data() + p + 4, pool + entry.text.offset + 4, entry.text.length - 4) == 0)
                && m.satisfied(m.alternatives[entry.alternative], text))
                out.push_back(m.alternatives[entry.alternative].slot);
        }
    };
    for (size_t p = 0; p + 1 < text.size(); ++p) {
        const uint32_t prefix = prefixOf(text.data() + p, text.size() - p);
        visit(m.shortKeys, prefix & 0xFFFF, prefix, p);
        if (p + 4 <= text.size())
            visit(m.longKeys, prefix, prefix, p);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

bool PatternSet::matchesAt(int index, std::string_view text) const
{
    Impl &m = *d;
    if (index < 0 || size_t(index) >= m.sources.size() || m.sources[size_t(index)].empty() || !m.compiled)
        return false;
    Impl::Compiled &c = m.compiled[size_t(index)];
    RE2 *re = c.re.load(std::memory_order_acquire);
    if (!re) {
        if (c.failed.load(std::memory_order_acquire))
            return false;
        std::lock_guard lock(m.compiling);
        re = c.re.load(std::memory_order_acquire);
        if (!re) {
            if (c.failed.load(std::memory_order_relaxed))
                return false;
            auto fresh = std::make_unique<RE2>(m.sources[size_t(index)], patternOptions());
            if (!fresh->ok()) {
                // Parsed but too big to compile: it matches nothing, said once.
                qCWarning(lcPatterns).noquote() << "pattern" << QString::fromStdString(m.sources[size_t(index)])
                                                << "does not compile, it matches nothing:"
                                                << QString::fromStdString(fresh->error());
                c.failed.store(true, std::memory_order_release);
                return false;
            }
            re = fresh.release();
            c.re.store(re, std::memory_order_release);
        }
    }
    return RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *re);
}

void PatternSet::matches(std::string_view text, std::vector<int> &out) const
{
    candidates(text, out);
    out.erase(std::remove_if(out.begin(), out.end(), [&](int i) { return !matchesAt(i, text); }), out.end());
}

bool PatternSet::mayMatch(std::string_view pattern, std::string_view text)
{
    Demands demands;
    bool may = false;
    const bool understood = Reader(demands).read(pattern, [&](uint32_t first, uint32_t count) {
        bool all = true;
        for (uint32_t k = first; k < first + count && all; ++k)
            all = demands.satisfied(demands.demands[k], text);
        may = may || all;
    });
    return !understood || may;
}

struct Pattern::Impl
{
    std::unique_ptr<RE2> re;
};

Pattern::Pattern() : d(std::make_unique<Impl>()) {}
Pattern::Pattern(const QString &pattern, QString *error) : d(std::make_unique<Impl>())
{
    if (pattern.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty pattern");
        return;
    }
    auto re = std::make_unique<RE2>(pattern.toStdString(), patternOptions());
    if (!re->ok()) {
        if (error)
            *error = QString::fromStdString(re->error());
        return;
    }
    d->re = std::move(re);
}
Pattern::~Pattern() = default;
Pattern::Pattern(Pattern &&) noexcept = default;
Pattern &Pattern::operator=(Pattern &&) noexcept = default;

bool Pattern::valid() const { return d && d->re; }

bool Pattern::search(std::string_view text) const
{
    return valid() && RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *d->re);
}

} // namespace corvane
