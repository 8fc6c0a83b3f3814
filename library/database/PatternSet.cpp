// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/PatternSet.h"

#include <re2/re2.h>
#include <re2/set.h>

#include <algorithm>

namespace corvane {

static RE2::Options patternOptions()
{
    RE2::Options o;
    o.set_log_errors(false);
    // The whole set's automaton lives inside this budget; the current
    // database needs a fraction of it (see bench/).
    o.set_max_mem(int64_t(32) << 20);
    return o;
}

struct PatternSet::Impl
{
    RE2::Set set{patternOptions(), RE2::UNANCHORED};
    std::vector<int> slotOf;              // set index -> index of add
    std::vector<std::string> sources;     // by set index, for the slow path
    bool compiled = false;
};

PatternSet::PatternSet() : d(std::make_unique<Impl>()) {}
PatternSet::~PatternSet() = default;
PatternSet::PatternSet(PatternSet &&) noexcept = default;
PatternSet &PatternSet::operator=(PatternSet &&) noexcept = default;

bool PatternSet::add(const QString &pattern, QString *error)
{
    const int slot = int(_count++);
    if (pattern.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty pattern");
        return false;
    }
    const std::string utf8 = pattern.toStdString();
    std::string why;
    const int index = d->set.Add(utf8, &why);
    if (index < 0) {
        if (error)
            *error = QString::fromStdString(why);
        return false;
    }
    if (size_t(index) >= d->slotOf.size())
        d->slotOf.resize(size_t(index) + 1, -1);
    d->slotOf[size_t(index)] = slot;
    d->sources.resize(d->slotOf.size());
    d->sources[size_t(index)] = utf8;
    return true;
}

void PatternSet::compile()
{
    d->compiled = d->slotOf.empty() ? false : d->set.Compile();
}

void PatternSet::matches(std::string_view text, std::vector<int> &out) const
{
    out.clear();
    if (d->slotOf.empty())
        return;
    std::vector<int> hits;
    RE2::Set::ErrorInfo info{};
    if (d->compiled && d->set.Match(re2::StringPiece(text.data(), text.size()), &hits, &info)) {
        for (int h : hits)
            out.push_back(d->slotOf[size_t(h)]);
    } else if (!d->compiled || info.kind == RE2::Set::kOutOfMemory) {
        // Either Compile() failed or the automaton ran out of its budget on
        // this text: answer slowly but correctly, one pattern at a time.
        const re2::StringPiece piece(text.data(), text.size());
        for (size_t i = 0; i < d->sources.size(); ++i) {
            const RE2 re(d->sources[i], patternOptions());
            if (re.ok() && RE2::PartialMatch(piece, re))
                out.push_back(d->slotOf[i]);
        }
    }
    std::sort(out.begin(), out.end());
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
