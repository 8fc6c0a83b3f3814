// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <memory>
#include <string_view>
#include <vector>

namespace corvane {

// Unanchored search over many patterns at once. drivedb.h holds some 700
// model patterns; trying them one by one per lookup is too slow, and
// compiling them all into one automaton costs more than the rest of the parse.
// So each pattern is read for the literal texts any match of it must
// contain, and an index over those texts picks the few candidates a given
// text could match. Only a candidate's pattern is compiled, the first time
// it is needed, and then kept for the life of the set.
// A pattern that does not compile, and an empty one, matches nothing.
class PatternSet
{
public:
    PatternSet();
    ~PatternSet();
    PatternSet(PatternSet &&) noexcept;
    PatternSet &operator=(PatternSet &&) noexcept;

    // Returns false (and keeps the slot, matching nothing) when the pattern
    // does not compile; *error then says why.
    bool add(const QString &pattern, QString *error = nullptr);
    // Builds the index; call once after the last add().
    void compile();
    int size() const { return int(_count); }

    // Indices (in order of add) of every pattern found somewhere in text, ascending.
    void matches(std::string_view text, std::vector<int> &out) const;

    // Indices, ascending, of the patterns that may be found in text: every
    // pattern that matches is among them, and most that don't are not.
    void candidates(std::string_view text, std::vector<int> &out) const;
    // Whether pattern `index` is found somewhere in text. Thread-safe.
    bool matchesAt(int index, std::string_view text) const;

    // The same test as candidates(), for one pattern that is not kept:
    // false only when `pattern` cannot possibly be found in text.
    static bool mayMatch(std::string_view pattern, std::string_view text);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    size_t _count = 0;
};

// One separately compiled pattern, for the few checks that need only one.
class Pattern
{
public:
    Pattern();
    explicit Pattern(const QString &pattern, QString *error = nullptr);
    ~Pattern();
    Pattern(Pattern &&) noexcept;
    Pattern &operator=(Pattern &&) noexcept;

    bool valid() const;
    bool search(std::string_view text) const; // unanchored

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace corvane
