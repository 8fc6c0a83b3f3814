// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <memory>
#include <string_view>
#include <vector>

namespace corvane {

// Unanchored search over many patterns at once. drivedb.h holds some 700
// model patterns and a lookup must not try them one by one, so they are
// compiled together into one automaton (RE2::Set) once per parse.
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
    void compile();
    int size() const { return int(_count); }

    // Indices (in order of add) of every pattern found somewhere in text, ascending.
    void matches(std::string_view text, std::vector<int> &out) const;

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
