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

// Any one of these texts.
using AnyOf = std::vector<std::string>;
// All of these, for one alternative.
using AllOf = std::vector<AnyOf>;

struct Reader
{
    bool understood = true;

    size_t fail()
    {
        understood = false;
        return std::string_view::npos;
    }
    AllOf giveUp()
    {
        understood = false;
        return {};
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
        for (size_t j = i; j < p.size();) {
            const char c = p[j];
            if (c == '\\') {
                j += 2;
            } else if (c == '[') {
                j = skipClass(p, j);
                if (!understood)
                    return j;
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

    std::vector<std::string_view> alternatives(std::string_view p)
    {
        std::vector<std::string_view> out;
        int depth = 0;
        size_t from = 0;
        for (size_t i = 0; i < p.size() && understood;) {
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
            else if (c == '|' && depth == 0) {
                out.push_back(p.substr(from, i - from));
                from = i + 1;
            }
            ++i;
        }
        out.push_back(p.substr(from));
        return out;
    }

    // Every demand of one alternative (no top-level "|" in it).
    AllOf demands(std::string_view a)
    {
        AllOf sets;
        std::string run;
        const auto endRun = [&] {
            if (!run.empty())
                sets.push_back({std::move(run)});
            run.clear();
        };
        size_t i = 0;
        while (i < a.size() && understood) {
            const unsigned char c = static_cast<unsigned char>(a[i]);
            if (c == '(') {
                if (i + 1 < a.size() && a[i + 1] == '?')
                    return giveUp();
                const size_t close = closingParen(a, i);
                if (!understood)
                    break;
                size_t next = close + 1;
                const Repeat r = quantifier(a, next);
                endRun();
                if (r != Repeat::Optional) {
                    AnyOf inner = anyOf(a.substr(i + 1, close - i - 1));
                    if (!inner.empty())
                        sets.push_back(std::move(inner));
                }
                i = next;
                continue;
            }
            size_t next = i + 1;
            char literal = 0;
            if (c == '[') {
                next = skipClass(a, i);
                if (!understood)
                    break;
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
                    literal = char(e);
                }
            } else if (c >= 0x80) {
                while (next < a.size() && (static_cast<unsigned char>(a[next]) & 0xC0) == 0x80)
                    ++next;
            } else {
                literal = char(c);
            }
            const Repeat r = quantifier(a, next);
            if (!literal || r == Repeat::Optional) {
                endRun();
            } else {
                run += literal;
                if (r == Repeat::OneOrMore)
                    endRun();
            }
            i = next;
        }
        endRun();
        return understood ? sets : AllOf();
    }

    // Texts of which any match of p contains one: one demand of each
    // alternative, the one with the longest shortest text. Empty when some
    // alternative demands nothing.
    AnyOf anyOf(std::string_view p)
    {
        AnyOf out;
        for (std::string_view a : alternatives(p)) {
            AllOf sets = demands(a);
            if (sets.empty() || !understood)
                return {};
            const auto score = [](const AnyOf &s) {
                size_t shortest = SIZE_MAX;
                for (const std::string &t : s)
                    shortest = std::min(shortest, t.size());
                return std::pair(shortest, -ptrdiff_t(s.size()));
            };
            auto best = std::max_element(sets.begin(), sets.end(),
                                         [&](const AnyOf &x, const AnyOf &y) { return score(x) < score(y); });
            for (std::string &t : *best)
                out.push_back(std::move(t));
        }
        return out;
    }

    // The demands of each top-level alternative; nullopt when the pattern
    // is not understood (it may match anything).
    std::optional<std::vector<AllOf>> read(std::string_view p)
    {
        std::vector<AllOf> out;
        for (std::string_view a : alternatives(p)) {
            out.push_back(demands(a));
            if (!understood)
                return std::nullopt;
        }
        return out;
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

bool containsAny(std::string_view text, const AnyOf &texts)
{
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string &t) { return text.find(t) != std::string_view::npos; });
}

// Two leading bytes of a text pick its bucket of the index.
constexpr size_t kBuckets = 4096;
constexpr uint32_t kFrequencySlots = 16384;
inline size_t bucketOf(unsigned char a, unsigned char b)
{
    return ((size_t(a) << 5) ^ size_t(b)) & (kBuckets - 1);
}

} // namespace

struct PatternSet::Impl
{
    // Literal texts live in one pool; a span is (offset, length) into it.
    struct Span
    {
        uint32_t offset, length;
    };
    struct Demand // any one of lits[first .. first+count)
    {
        uint32_t first, count;
    };
    struct Alternative // all of demands[first .. first+count), key excepted
    {
        int slot;
        uint32_t first, count;
        int key; // index into demands of the one indexed, -1 when none
    };
    struct Entry // a key text and the alternative it stands for
    {
        Span text;
        uint32_t alternative;
    };
    struct Compiled
    {
        std::atomic<RE2 *> re{nullptr};
        std::atomic<bool> failed{false};
    };

    std::vector<std::string> sources;       // by slot; empty: matches nothing
    std::vector<std::vector<AllOf>> read;   // by slot, until compile()
    std::vector<bool> unread;               // by slot: may match anything
    std::unique_ptr<RE2::Set> checker;

    std::string pool;
    std::vector<Span> lits;
    std::vector<Demand> demands;
    std::vector<Alternative> alternatives;
    std::vector<uint32_t> unkeyed; // alternatives checked for every text
    std::vector<uint32_t> bucketStart;
    std::vector<Entry> entries;

    std::unique_ptr<Compiled[]> compiled;
    std::mutex compiling;

    ~Impl()
    {
        if (compiled)
            for (size_t i = 0; i < sources.size(); ++i)
                delete compiled[i].re.load();
    }

    std::string_view text(Span s) const { return std::string_view(pool).substr(s.offset, s.length); }

    bool satisfied(const Alternative &a, std::string_view t) const
    {
        for (uint32_t k = a.first; k < a.first + a.count; ++k) {
            if (int(k) == a.key)
                continue;
            const Demand &dm = demands[k];
            bool any = false;
            for (uint32_t l = dm.first; l < dm.first + dm.count && !any; ++l)
                any = t.find(text(lits[l])) != std::string_view::npos;
            if (!any)
                return false;
        }
        return true;
    }
};

PatternSet::PatternSet() : d(std::make_unique<Impl>()) {}
PatternSet::~PatternSet() = default;
PatternSet::PatternSet(PatternSet &&) noexcept = default;
PatternSet &PatternSet::operator=(PatternSet &&) noexcept = default;

bool PatternSet::add(const QString &pattern, QString *error)
{
    const auto checker = [&]() -> RE2::Set & {
        if (!d->checker)
            d->checker = std::make_unique<RE2::Set>(patternOptions(), RE2::UNANCHORED);
        return *d->checker;
    };
    ++_count;
    std::string utf8 = pattern.toStdString();
    std::string why = "empty pattern";
    // The checker set only parses (it is never compiled): the same verdict
    // as a compile, at a fraction of its cost; plain patterns need not even that.
    const bool ok = !utf8.empty() && (plainlyValid(utf8) || checker().Add(utf8, &why) >= 0);
    if (!ok) {
        if (error)
            *error = QString::fromStdString(why);
        utf8.clear();
    }
    Reader reader;
    auto demands = ok ? reader.read(utf8) : std::nullopt;
    d->unread.push_back(ok && !demands);
    d->read.push_back(demands ? std::move(*demands) : std::vector<AllOf>());
    d->sources.push_back(std::move(utf8));
    return ok;
}

void PatternSet::compile()
{
    Impl &m = *d;
    m.checker.reset();
    // How often each text is demanded: the rarest demand of an alternative
    // is its key, so that few alternatives share one. Texts are counted by
    // hash; a collision only makes the choice a little worse.
    std::vector<uint16_t> frequency(kFrequencySlots, 0);
    const auto slotOf = [](std::string_view t) {
        uint32_t h = 2166136261u;
        for (const char c : t)
            h = (h ^ uint8_t(c)) * 16777619u;
        return h & (kFrequencySlots - 1);
    };
    for (const auto &slot : m.read)
        for (const AllOf &alternative : slot)
            for (const AnyOf &demand : alternative)
                for (const std::string &t : demand) {
                    uint16_t &count = frequency[slotOf(t)];
                    count = uint16_t(std::min(count + 1, 0xFFFF));
                }

    for (size_t slot = 0; slot < m.sources.size(); ++slot) {
        if (m.unread[slot]) {
            m.unkeyed.push_back(uint32_t(m.alternatives.size()));
            m.alternatives.push_back({int(slot), 0, 0, -1});
            continue;
        }
        for (const AllOf &alternative : m.read[slot]) {
            Impl::Alternative a{int(slot), uint32_t(m.demands.size()), uint32_t(alternative.size()), -1};
            std::pair<int, size_t> bestScore{INT_MAX, 0};
            for (const AnyOf &demand : alternative) {
                const uint32_t k = uint32_t(m.demands.size());
                m.demands.push_back({uint32_t(m.lits.size()), uint32_t(demand.size())});
                int rarest = 0;
                size_t shortest = SIZE_MAX;
                for (const std::string &t : demand) {
                    m.lits.push_back({uint32_t(m.pool.size()), uint32_t(t.size())});
                    m.pool += t;
                    rarest = std::max(rarest, int(frequency[slotOf(t)]));
                    shortest = std::min(shortest, t.size());
                }
                // A key needs two bytes for its bucket.
                const std::pair<int, size_t> score{rarest, SIZE_MAX - shortest};
                if (shortest >= 2 && score < bestScore) {
                    bestScore = score;
                    a.key = int(k);
                }
            }
            if (a.key < 0)
                m.unkeyed.push_back(uint32_t(m.alternatives.size()));
            m.alternatives.push_back(a);
        }
    }
    m.read.clear();
    m.read.shrink_to_fit();

    // Index of the key texts by their first two bytes.
    m.bucketStart.assign(kBuckets + 1, 0);
    const auto forEachKey = [&](auto &&f) {
        for (uint32_t ai = 0; ai < m.alternatives.size(); ++ai) {
            const Impl::Alternative &a = m.alternatives[ai];
            if (a.key < 0)
                continue;
            const Impl::Demand &dm = m.demands[size_t(a.key)];
            for (uint32_t l = dm.first; l < dm.first + dm.count; ++l)
                f(ai, m.lits[l]);
        }
    };
    forEachKey([&](uint32_t, Impl::Span s) {
        ++m.bucketStart[bucketOf(uint8_t(m.pool[s.offset]), uint8_t(m.pool[s.offset + 1])) + 1];
    });
    for (size_t b = 0; b < kBuckets; ++b)
        m.bucketStart[b + 1] += m.bucketStart[b];
    m.entries.resize(m.bucketStart[kBuckets]);
    std::vector<uint32_t> fill(m.bucketStart.begin(), m.bucketStart.end() - 1);
    forEachKey([&](uint32_t ai, Impl::Span s) {
        m.entries[fill[bucketOf(uint8_t(m.pool[s.offset]), uint8_t(m.pool[s.offset + 1]))]++] = {s, ai};
    });
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
    for (size_t p = 0; p + 1 < text.size(); ++p) {
        const size_t b = bucketOf(uint8_t(text[p]), uint8_t(text[p + 1]));
        for (uint32_t e = m.bucketStart[b]; e < m.bucketStart[b + 1]; ++e) {
            const Impl::Entry &entry = m.entries[e];
            if (entry.text.length <= text.size() - p
                && std::memcmp(text.data() + p, m.pool.data() + entry.text.offset, entry.text.length) == 0
                && m.satisfied(m.alternatives[entry.alternative], text))
                out.push_back(m.alternatives[entry.alternative].slot);
        }
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
    Reader reader;
    const auto alternatives = reader.read(pattern);
    if (!alternatives)
        return true;
    return std::any_of(alternatives->begin(), alternatives->end(), [&](const AllOf &all) {
        return std::all_of(all.begin(), all.end(), [&](const AnyOf &any) { return containsAny(text, any); });
    });
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
