// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveSource.h"

namespace corvane {

std::optional<QList<QVariantMap>> CannedDriveSource::readAllDrives(const QVariantMap &ignoreAttributes)
{
    ++_reads;
    _lastIgnore = ignoreAttributes;
    if (_unavailable)
        return std::nullopt;
    return _drives;
}

namespace {
struct Run
{
    QStringView text;
    bool digits;
};

Run nextRun(QStringView s, qsizetype &pos)
{
    const qsizetype start = pos;
    const bool digits = s[pos].isDigit();
    while (pos < s.size() && s[pos].isDigit() == digits)
        ++pos;
    return {s.mid(start, pos - start), digits};
}

int compareRuns(const Run &a, const Run &b)
{
    if (a.digits != b.digits)
        return a.digits ? -1 : 1;
    if (a.digits) {
        // By value without converting: strip leading zeros, then length, then text.
        QStringView x = a.text, y = b.text;
        while (x.size() > 1 && x.front() == u'0')
            x = x.mid(1);
        while (y.size() > 1 && y.front() == u'0')
            y = y.mid(1);
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        return x.compare(y);
    }
    // sd, hd, vd and xvd drives count in letters: a..z, then aa.
    const auto split = [](QStringView t) -> std::pair<QStringView, QStringView> {
        for (QStringView family : {u"xvd", u"sd", u"hd", u"vd"})
            if (t.size() > family.size() && t.startsWith(family))
                return {family, t.mid(family.size())};
        return {t, {}};
    };
    const auto [familyA, lettersA] = split(a.text);
    const auto [familyB, lettersB] = split(b.text);
    if (const int c = familyA.compare(familyB))
        return c;
    if (lettersA.size() != lettersB.size())
        return lettersA.size() < lettersB.size() ? -1 : 1;
    return lettersA.compare(lettersB);
}
} // namespace

bool driveNameLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const int c = compareRuns(nextRun(a, i), nextRun(b, j));
        if (c != 0)
            return c < 0;
    }
    return i >= a.size() && j < b.size();
}

} // namespace corvane
