// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/KernelNameOrder.h"

#include <QRegularExpression>
#include <algorithm>
#include <variant>
#include <vector>

namespace corvane {

namespace {

// A number (value, digit count) or a run of other characters.
using Token = std::variant<std::pair<quint64, int>, QString>;

// Disks named by letters count in bijective base 26: a = 1, z = 26, aa = 27.
const QRegularExpression &letterDisk()
{
    static const QRegularExpression re(QStringLiteral("^(sd|hd|vd|xvd)([a-z]+)(?=[0-9]|$)"));
    return re;
}

void appendNumber(std::vector<Token> &tokens, const QString &digits)
{
    quint64 value = 0;
    for (QChar c : digits) {
        // Saturate: a silly long number still sorts after every sane one.
        const quint64 digit = quint64(c.unicode() - u'0');
        value = value > (~quint64(0) - digit) / 10 ? ~quint64(0) : value * 10 + digit;
    }
    tokens.emplace_back(std::pair<quint64, int>(value, int(digits.size())));
}

std::vector<Token> tokenize(const QString &name)
{
    std::vector<Token> tokens;
    // Only the last path component can be a letter-numbered disk.
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    QString prefix = name.left(slash + 1);
    QString rest = name.mid(slash + 1);
    QString pending = prefix;
    const QRegularExpressionMatch m = letterDisk().match(rest);
    if (m.hasMatch()) {
        pending += m.captured(1);
        tokens.emplace_back(pending);
        pending.clear();
        quint64 value = 0;
        constexpr quint64 kCap = quint64(1) << 60;
        for (QChar c : m.captured(2))
            value = value >= kCap / 26 ? kCap : value * 26 + quint64(c.unicode() - u'a' + 1);
        tokens.emplace_back(std::pair<quint64, int>(value, 0));
        rest = rest.mid(m.capturedLength(0));
    }
    QString digits;
    for (QChar c : rest) {
        if (c.isDigit() && c.unicode() < 128) {
            if (!pending.isEmpty()) {
                tokens.emplace_back(pending);
                pending.clear();
            }
            digits += c;
        } else {
            if (!digits.isEmpty()) {
                appendNumber(tokens, digits);
                digits.clear();
            }
            pending += c;
        }
    }
    if (!digits.isEmpty())
        appendNumber(tokens, digits);
    if (!pending.isEmpty())
        tokens.emplace_back(pending);
    return tokens;
}

int compareTokens(const Token &a, const Token &b)
{
    const auto *na = std::get_if<std::pair<quint64, int>>(&a);
    const auto *nb = std::get_if<std::pair<quint64, int>>(&b);
    if (na && nb) {
        if (na->first != nb->first)
            return na->first < nb->first ? -1 : 1;
        return 0;
    }
    if (na || nb)
        return na ? -1 : 1; // numbers before words
    return std::get<QString>(a).compare(std::get<QString>(b));
}

} // namespace

bool kernelNameLess(const QString &a, const QString &b)
{
    const std::vector<Token> ta = tokenize(a);
    const std::vector<Token> tb = tokenize(b);
    for (size_t i = 0; i < ta.size() && i < tb.size(); ++i) {
        if (const int c = compareTokens(ta[i], tb[i]))
            return c < 0;
    }
    if (ta.size() != tb.size())
        return ta.size() < tb.size();
    // Equal by value ("sd01" and "sd1"): keep a strict, stable order.
    return a < b;
}

QStringList sortedKernelNames(QStringList names)
{
    std::sort(names.begin(), names.end(), kernelNameLess);
    return names;
}

} // namespace corvane
