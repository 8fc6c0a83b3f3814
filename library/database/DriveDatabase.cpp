// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/DriveDatabase.h"

#include <QHash>
#include <array>
#include <algorithm>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <bitset>
#include <deque>
#include <map>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>

#include <re2/re2.h>
#include <re2/set.h>

Q_LOGGING_CATEGORY(lcDriveDb, "corvane.drivedb")

namespace corvane {

namespace {

// A C string continued on the next source line: closing quote, line feed, opening quote.
const QString kContinuation = QStringLiteral("\"\n\"");

bool inTrimSet(QChar c)
{
    return c == u'"' || c == u'{' || c == u' ' || c == u'\n';
}

QString trimSet(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && inTrimSet(s[b]))
        ++b;
    while (e > b && inTrimSet(s[e - 1])) {
        // An escaped quote ends the text, it does not delimit it.
        if (s[e - 1] == u'"' && e - 2 >= b && s[e - 2] == u'\\' && !(e - 3 >= b && s[e - 3] == u'\\'))
            break;
        --e;
    }
    return s.mid(b, e - b).toString();
}


// Block comments are removed before the line-wise pass: left in place, their
// inner lines would end up inside the next record's model pattern (several
// Western Digital records carry one between family and model). String
// literals and line comments are skipped over so that a "/*" inside either
// is left alone.
QString stripBlockComments(QString text)
{
    if (!text.contains(QLatin1String("/*")))
        return text;
    // Compacted in place: the output is never longer than the input.
    QChar *d = text.data();
    const qsizetype n = text.size();
    qsizetype i = 0, w = 0;
    const auto keep = [&](qsizetype count) {
        for (qsizetype k = 0; k < count; ++k)
            d[w++] = d[i++];
    };
    while (i < n) {
        const QChar c = d[i];
        if (c == u'"') {
            keep(1);
            while (i < n && d[i] != u'"' && d[i] != u'\n')
                keep((d[i] == u'\\' && i + 1 < n && d[i + 1] != u'\n') ? 2 : 1);
            if (i < n && d[i] == u'"')
                keep(1);
        } else if (c == u'/' && i + 1 < n && d[i + 1] == u'/') {
            while (i < n && d[i] != u'\n')
                keep(1);
        } else if (c == u'/' && i + 1 < n && d[i + 1] == u'*') {
            qsizetype stop = i + 2;
            while (stop < n && !(d[stop] == u'*' && stop + 1 < n && d[stop + 1] == u'/'))
                ++stop;
            stop = stop < n ? stop + 2 : n;
            // Keep the line structure: the comment's line breaks stay.
            for (; i < stop; ++i)
                if (d[i] == u'\n')
                    d[w++] = u'\n';
        } else {
            keep(1);
        }
    }
    text.truncate(w);
    return text;
}

// Where a line comment begins: the first "//" outside a string literal (a
// pattern or a web address may hold one); -1 when there is none.
qsizetype lineCommentStart(QStringView line)
{
    bool inString = false;
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QChar c = line[i];
        if (inString) {
            if (c == u'\\')
                ++i;
            else if (c == u'"')
                inString = false;
        } else if (c == u'"') {
            inString = true;
        } else if (c == u'/' && line[i + 1] == u'/') {
            return i;
        }
    }
    return -1;
}

// Patterns are C string literals: an escaped backslash or quote stands for
// one character. Without this "M\\.2" would look for a backslash and never
// match "M.2".
QString unescapeC(const QString &s)
{
    if (!s.contains(u'\\'))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"'))
            ++i;
        out += s[i];
    }
    return out;
}

QString cleanPattern(QStringView piece)
{
    QString p = trimSet(piece);
    if (p.contains(u'"'))
        p.remove(kContinuation);
    return unescapeC(p);
}

void parsePresets(const QString &presetText, QVariantList &attributes, QVariantMap &attribDict,
                  QString &firmwarebug, QString &firmwarebugDescription, QHash<QString, QString> &names)
{
    QString text = presetText;
    text.replace(QStringLiteral("-v "), QStringLiteral("!-v "));
    text.replace(QStringLiteral("-F "), QStringLiteral("!-F "));
    const QStringList options = text.split(QStringLiteral("!-"));
    for (const QString &option : options) {
        if (option.isEmpty())
            continue;
        const QChar letter = option[0];
        const QString argument = trimSet(option.mid(1));
        if (letter == u'v') {
            const QStringList fields = argument.split(u',');
            QVariantMap preset;
            preset.insert(QStringLiteral("id"), fields.value(0));
            preset.insert(QStringLiteral("fmt"), fields.value(1));
            if (fields.size() < 3) {
                QString key = fields.value(1);
                if (key == QLatin1String("increasing"))
                    key = QStringLiteral("increasing_") + fields.value(0);
                const QVariantMap legacy = DriveDatabase::fmtDict().value(key).toMap();
                if (!legacy.isEmpty()) {
                    preset.insert(QStringLiteral("fmt"), legacy.value(QStringLiteral("fmt")));
                    preset.insert(QStringLiteral("name"), legacy.value(QStringLiteral("name")));
                }
            } else {
                QString name = fields[2];
                name.replace(u'_', u' ');
                preset.insert(QStringLiteral("name"), name);
            }
            if (preset.contains(QStringLiteral("name"))) {
                // The same few hundred names recur across entries: expand each once.
                const QString raw = preset.value(QStringLiteral("name")).toString();
                auto known = names.constFind(raw);
                if (known == names.cend())
                    known = names.insert(raw, DriveDatabase::expandName(raw));
                preset.insert(QStringLiteral("name"), *known);
            }
            attributes.append(preset);
            attribDict.insert(fields.value(0), preset);
        } else if (letter == u'F') {
            firmwarebug = argument;
            QString description;
            for (const auto &[bug, text] : DriveDatabase::firmwarebugDescriptions())
                if (bug == argument)
                    description = text;
            firmwarebugDescription = QStringLiteral("%1:\n%2").arg(argument, description);
        }
    }
}

} // namespace

const QVariantMap &DriveDatabase::fmtDict()
{
    static const QVariantMap table = [] {
        auto row = [](const char *fmt, const QString &name) {
            return QVariantMap{{QStringLiteral("fmt"), QString::fromLatin1(fmt)}, {QStringLiteral("name"), name}};
        };
        return QVariantMap{
            {QStringLiteral("10xCelsius"), row("temp10x", QStringLiteral("Temperature ℃ x10"))},
            {QStringLiteral("detectedtacount"), row("raw48", QStringLiteral("Detected TA Count"))},
            {QStringLiteral("emergencyretractcyclect"), row("raw48", QStringLiteral("Emergency Retract Cycle Count"))},
            {QStringLiteral("halfminutes"), row("halfmin2hour", QStringLiteral("Power On Half Minutes"))},
            {QStringLiteral("increasing_197"), row("raw48", QStringLiteral("Total Pending Sectors"))},
            {QStringLiteral("increasing_198"), row("raw48", QStringLiteral("Total Offline Uncorrectable"))},
            {QStringLiteral("loadunload"), row("raw24/raw24", QString())},
            {QStringLiteral("minutes"), row("min2hour", QStringLiteral("Power On Minutes"))},
            {QStringLiteral("offlinescanuncsectorct"), row("raw48", QStringLiteral("Offline Scan UNC Sector Count"))},
            {QStringLiteral("seconds"), row("sec2hour", QStringLiteral("Power On Seconds"))},
            {QStringLiteral("temp"), row("tempminmax", QStringLiteral("Temperature ℃ "))},
            {QStringLiteral("unknown"), row("raw48", QStringLiteral("Unknown Attribute"))},
            {QStringLiteral("writeerrorcount"), row("raw48", QStringLiteral("Write Error Count"))},
        };
    }();
    return table;
}

const QList<std::pair<QString, QString>> &DriveDatabase::firmwarebugDescriptions()
{
    static const QList<std::pair<QString, QString>> table{
        {QStringLiteral("nologdir"), QStringLiteral("Avoids reading GP/SMART Log Directories")},
        {QStringLiteral("samsung"), QStringLiteral("Fixes byte order in some SMART data")},
        {QStringLiteral("samsung2"), QStringLiteral("Fixes byte order in some SMART data")},
        {QStringLiteral("samsung3"), QStringLiteral("Fixes completed-selftest reported as in-progress")},
        {QStringLiteral("xerrorlba"), QStringLiteral("Fixes LBA byte ordering in Ext. Comprehensive SMART error log")},
    };
    return table;
}

const QList<std::pair<QString, QString>> &DriveDatabase::expansions()
{
    static const QList<std::pair<QString, QString>> table = [] {
        static const char *const rows[][2] = {
            {" Attr ", " Attribute "}, {" Avail ", " Available "}, {" Bckgnd ", " Background "},
            {" Blk ", " Block "}, {" Cel ", " Celsius "}, {" Cnt ", " Count "},
            {" Corr ", " Correction "}, {" Ct ", " Count "}, {" Err ", " Error "},
            {" Errs ", " Errors "}, {" Iface ", " Interface "}, {" Indic ", " Indicator "},
            {" Interfac ", " Interface "}, {" Perc ", " Percentage "}, {" Performnce ", " Performance "},
            {" Pfail ", " Pre-fail "}, {" Phy ", " Physical "}, {" Prog ", " Progress "},
            {" Rd ", " Read "}, {" RdWr ", " Read/Write "}, {" Reades ", " Reads "},
            {" Recov ", " Recover "}, {" Recoverty ", " Recovery "}, {" Remain", " Remaining"},
            {" Reservd ", " Reserved "}, {" Resrvd ", " Reserved "}, {" Rsvd ", " Reserved "},
            {" Rtry ", " Retry "}, {" Storg ", " Storage "}, {" Tot ", " Total "},
            {" Uncorr ", " Uncorrectable "}, {" Uncorrect ", " Uncorrectable "}, {"Adaptv ", "Adaptive "},
            {"Ave ", "Average "}, {"Avg ", "Average "}, {"Bckgnd ", "Background "},
            {"Cumulativ ", "Cumulative "}, {"Max ", "Maximum "}, {"MaxAvgErase ", "Maximum Average Erase "},
            {"Min ", "Minimum "}, {"Non4k ", "Non-4k "}, {"Perc ", "Percentage "},
            {"Pwr ", "Power "}, {"Snmple ", "Simple "}, {"Unc ", " Uncorrectable "},
            {"Unexpect ", "Unexpected "}, {"Unkn SiliconMotion", "Unknown Silicon Motion"},
            {"Unknown Apple Attrib", "Unknown Apple Attribute"}, {"Workld ", "Workload "},
        };
        QList<std::pair<QString, QString>> t;
        for (const auto &r : rows)
            t.append({QString::fromLatin1(r[0]), QString::fromLatin1(r[1])});
        return t;
    }();
    return table;
}

QString DriveDatabase::expandName(const QString &name)
{
    // Whole words only, and one blank stays one blank: every row is applied as
    // " word " -> " replacement " to the name with a blank on each side, so
    // "Remaining" keeps its ending and "Avg/Max" (one word) stays as it is.
    static const QList<std::pair<QString, QString>> words = [] {
        QList<std::pair<QString, QString>> t;
        for (const auto &[abbreviation, replacement] : expansions())
            t.append({u' ' + abbreviation.trimmed() + u' ', u' ' + replacement.trimmed() + u' '});
        return t;
    }();
    QString n = u' ' + name.simplified() + u' ';
    for (const auto &[word, replacement] : words) {
        // The blank after one hit is the blank before the next ("Cnt Cnt").
        for (qsizetype i = n.indexOf(word); i >= 0; i = n.indexOf(word, i + replacement.size() - 1))
            n.replace(i, word.size(), replacement);
    }
    return n.trimmed();
}

namespace {

struct Presets
{
    QVariantList attributes;
    QVariantMap attribDict;
    QString firmwarebug, firmwarebugDescription;
};

// Entries repeat a few preset texts (most have none, many only "-d sat"):
// each distinct text is read once and its maps are shared.
struct ParseCache
{
    QHash<QString, QString> names;
    QHash<QStringView, Presets> presets;
};

// The five fields of a record: family, model, firmware, warning, presets.
using Pieces = std::array<QStringView, 5>;

// The fields of a record chunk, split at each closing quote and comma; false
// unless there are exactly five. A hand loop: the general split was a tenth
// of a one-shot lookup.
bool splitRecord(QStringView chunk, Pieces &pieces)
{
    size_t count = 0;
    qsizetype from = 0;
    for (qsizetype i = 0; i + 1 < chunk.size(); ++i) {
        if (chunk[i] != u'"' || chunk[i + 1] != u',')
            continue;
        if (count == pieces.size() - 1)
            return false;
        pieces[count++] = chunk.mid(from, i - from);
        from = ++i + 1;
    }
    if (count != pieces.size() - 1)
        return false;
    pieces[count] = chunk.mid(from);
    return true;
}

QVariantMap buildEntry(const Pieces &pieces, ParseCache &cache)
{
    const QString family = unescapeC(trimSet(pieces[0]));
    const QString model = cleanPattern(pieces[1]);
    QString firmware = cleanPattern(pieces[2]);
    if (firmware.isEmpty())
        firmware = QStringLiteral(".");
    QString warning = trimSet(pieces[3]);
    if (warning.contains(u'"'))
        warning.replace(kContinuation, QStringLiteral("\n"));
    warning = unescapeC(warning);

    auto known = cache.presets.constFind(pieces[4]);
    if (known == cache.presets.cend()) {
        Presets p;
        parsePresets(pieces[4].toString(), p.attributes, p.attribDict, p.firmwarebug, p.firmwarebugDescription,
                     cache.names);
        known = cache.presets.insert(pieces[4], std::move(p));
    }

    return QVariantMap{
        {QStringLiteral("modelfamily"), family.isEmpty() ? model : family},
        {QStringLiteral("model"), model},
        {QStringLiteral("firmware"), firmware},
        {QStringLiteral("warning"), warning},
        {QStringLiteral("attributes"), known->attributes},
        {QStringLiteral("attribDict"), known->attribDict},
        {QStringLiteral("firmwarebug"), known->firmwarebug},
        {QStringLiteral("firmwarebugDescription"), known->firmwarebugDescription},
    };
}

// The text steps shared by the full parse and the one-shot lookup: decoding,
// comments, the version line, and the split into record chunks. Fills the
// version keys of `dictionary`.
// The chunks are views into `joined`, which the caller keeps alive.
struct Chunks
{
    QString joined;
    QList<QStringView> chunks;
};

// Whether bytes are UTF-8 without NUL (which never occurs in a C source
// file: the mark of a binary), judged as QStringDecoder does: an incomplete
// sequence at the very end is left out, not an error. *decodable is the
// length to decode. QStringDecoder itself decodes several times slower
// than QString::fromUtf8, which cannot tell bad input.
bool isUtf8Text(QByteArrayView bytes, qsizetype *decodable)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time.
        for (quint64 w; i + 8 <= n; i += 8) {
            std::memcpy(&w, p + i, 8);
            if ((w & 0x8080808080808080ull) || ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull))
                break;
        }
        if (i >= n)
            break;
        const uchar c = p[i];
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length;
        char32_t cp, least;
        if ((c & 0xE0) == 0xC0)
            length = 2, cp = c & 0x1F, least = 0x80;
        else if ((c & 0xF0) == 0xE0)
            length = 3, cp = c & 0x0F, least = 0x800;
        else if ((c & 0xF8) == 0xF0)
            length = 4, cp = c & 0x07, least = 0x10000;
        else
            return false;
        for (int k = 1; k < length; ++k) {
            if (i + k >= n) {
                *decodable = i;
                return true;
            }
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    *decodable = n;
    return true;
}

Chunks recordChunks(QByteArrayView bytes, bool *readable, QVariantMap &dictionary)
{
    qsizetype decodable = 0;
    if (!isUtf8Text(bytes, &decodable)) {
        if (readable)
            *readable = false;
        return {};
    }
    if (readable)
        *readable = true;
    QString text = QString::fromUtf8(bytes.first(decodable));

    text = stripBlockComments(std::move(text));
    // Lines are handled as views into the text: the file has some 6000 of
    // them and copying each is what a one-shot lookup would mostly pay for.
    const QStringView all(text);
    const qsizetype versionPos = all.indexOf(QLatin1String("VERSION:"));
    if (versionPos < 0) {
        // Not a drive database; an empty one is all that can be said.
        dictionary.insert(QStringLiteral("datebuild"), QString());
        qCWarning(lcDriveDb) << "drive database has no VERSION line; nothing parsed";
        return {};
    }
    const qsizetype lineStart = all.lastIndexOf(u'\n', versionPos) + 1;
    qsizetype lineEnd = all.indexOf(u'\n', versionPos);
    const QStringView versionLine = all.mid(lineStart, (lineEnd < 0 ? all.size() : lineEnd) - lineStart);
    // The version line and the four after it are the version pseudo-record.
    qsizetype bodyStart = lineStart;
    for (int skipped = 0; skipped < 5 && bodyStart <= all.size(); ++skipped) {
        const qsizetype eol = all.indexOf(u'\n', bodyStart);
        bodyStart = eol < 0 ? all.size() + 1 : eol + 1;
    }

    static const QRegularExpression versionRx(
        QStringLiteral(R"(VERSION: (\d{1,2}\.\d{1,2}) \$Id: drivedb.h (\d{1,5}) (\d{4}-\d{2}-\d{2}))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = versionRx.match(versionLine);
    if (m.hasMatch()) {
        dictionary.insert(QStringLiteral("line"), m.captured(0));
        dictionary.insert(QStringLiteral("version"), m.captured(1));
        dictionary.insert(QStringLiteral("build"), m.captured(2));
        dictionary.insert(QStringLiteral("date"), m.captured(3));
        dictionary.insert(QStringLiteral("datebuild"),
                          QStringLiteral("%1 (Revision %2)").arg(m.captured(3), m.captured(2)));
    } else {
        dictionary.insert(QStringLiteral("datebuild"), QString());
    }
    if (bodyStart > all.size())
        return {};

    // The kept lines are joined in place: what is written never overtakes
    // what is still to be read.
    QChar *out = text.data();
    const qsizetype n = text.size();
    qsizetype w = 0;
    bool firstLine = true;
    for (qsizetype r = bodyStart; r <= n;) {
        qsizetype eol = QStringView(text).indexOf(u'\n', r);
        if (eol < 0)
            eol = n;
        QStringView view = QStringView(out + r, eol - r).trimmed();
        r = eol + 1;
        QString owned;
        // Searches for one character first: most lines hold neither a
        // backslash nor a slash, and a character search is far cheaper.
        if (view.contains(u'\\') && view.contains(QLatin1String("\\n"))) {
            owned = view.toString();
            owned.remove(QStringLiteral("\\n"));
            view = owned;
        }
        if (view.startsWith(QLatin1String("/*")) || view.startsWith(QLatin1String("*/"))
            || view.startsWith(QLatin1String("//")))
            continue;
        if (view.contains(u'/')) {
            if (const qsizetype comment = lineCommentStart(view); comment >= 0)
                view = view.left(comment).trimmed();
        }
        if (!firstLine)
            out[w++] = u'\n';
        std::memmove(out + w, view.data(), size_t(view.size()) * sizeof(QChar));
        w += view.size();
        firstLine = false;
    }
    text.truncate(w);
    Chunks result{std::move(text).trimmed(), {}};
    result.chunks = QStringView(result.joined).split(QStringLiteral("},\n"));
    return result;
}

} // namespace

namespace {

// Index just past the token of pattern p at i: an escape pair, a bracketed
// class ("[]" and "[^]" hold a literal "]"), or one character.
size_t tokenEnd(std::string_view p, size_t i)
{
    if (p[i] == '\\')
        return std::min(i + 2, p.size());
    if (p[i] != '[')
        return i + 1;
    i += i + 1 < p.size() && p[i + 1] == '^' ? 2 : 1;
    for (i += i < p.size() && p[i] == ']'; i < p.size() && p[i] != ']'; i = tokenEnd(p, i)) {
    }
    return std::min(i + 1, p.size());
}

std::bitset<128> firstCharacters(std::string_view p);

// Adds the characters a match of the sequence p (one alternative) can begin
// with; false when that can't be told.
bool sequenceStart(std::string_view p, std::bitset<128> &first)
{
    if (p.empty())
        return false;
    const auto quantified = [&](size_t at) { return at < p.size() && std::strchr("?*{", p[at]); };
    if (p[0] == '(') { // a group: its own first characters, and the rest's when it is optional
        if (p.size() > 1 && p[1] == '?')
            return false;
        size_t i = 0;
        for (int depth = 0; i < p.size(); i = tokenEnd(p, i)) {
            depth += p[i] == '(' ? 1 : p[i] == ')' ? -1 : 0;
            if (depth == 0)
                break;
        }
        const std::bitset<128> inner = i < p.size() ? firstCharacters(p.substr(1, i - 1)) : std::bitset<128>();
        if (inner.none() || (quantified(i + 1) && p[i + 1] == '{'))
            return false;
        first |= inner;
        return !quantified(i + 1) || sequenceStart(p.substr(i + 2), first);
    }
    const unsigned char c = uchar(p[0]);
    if (c >= 128 || std::strchr("\\.[](){}|^$*+?", c) || quantified(1))
        return false;
    first.set(c);
    return true;
}

// The ASCII characters a whole-text match of pattern p can begin with, from
// the start of each top-level alternative; none (it may begin with anything)
// when an alternative starts with a class, an escape, an optional character
// or nothing at all.
std::bitset<128> firstCharacters(std::string_view p)
{
    std::bitset<128> first;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i <= p.size(); i = i < p.size() ? tokenEnd(p, i) : i + 1) {
        if (i == p.size() || (p[i] == '|' && depth == 0)) {
            if (!sequenceStart(p.substr(start, i - start), first))
                return {};
            start = i + 1;
        } else {
            depth += p[i] == '(' ? 1 : p[i] == ')' ? -1 : 0;
        }
    }
    return first;
}

// The literal text each top-level alternative of pattern p begins with: its
// plain characters up to the first that is special or optional, cut to
// `length`. Empty when an alternative begins with fewer than two such
// characters (it can't be told by its prefix).
std::set<std::string> literalPrefixes(std::string_view p, size_t length)
{
    std::set<std::string> prefixes;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i <= p.size(); i = i < p.size() ? tokenEnd(p, i) : i + 1) {
        if (i < p.size() && !(p[i] == '|' && depth == 0)) {
            depth += p[i] == '(' ? 1 : p[i] == ')' ? -1 : 0;
            continue;
        }
        const std::string_view alternative = p.substr(start, i - start);
        size_t n = 0;
        while (n < length && n < alternative.size() && uchar(alternative[n]) < 128
               && !std::strchr("\\.[](){}|^$*+?", alternative[n])
               && !(n + 1 < alternative.size() && std::strchr("?*{", alternative[n + 1])))
            ++n;
        if (n < 2)
            return {};
        prefixes.emplace(alternative.substr(0, n));
        start = i + 1;
    }
    return prefixes;
}

RE2::Options matchOptions()
{
    RE2::Options o;
    o.set_log_errors(false);
    o.set_max_mem(int64_t(64) << 20); // room for the automaton of a few hundred alternatives
    return o;
}

} // namespace

// Model patterns are matched against the whole text, as smartmontools does,
// in one RE2::Set per first character a match can begin with, plus one set of
// the patterns that can begin with anything. A pattern whose alternatives each
// begin with two or three known characters (most begin with a maker's name)
// goes to the sets of those prefixes instead, so a lookup matches up to four
// small sets.
// Each set is built on its first use, so a one-shot lookup compiles a fraction
// of the file's patterns. A firmware pattern compiles when a lookup first needs it.
// The entries' maps, too, are built when first asked for: a lookup builds one.
struct DriveDatabase::Patterns
{
    static constexpr int kAnyFirmware = -1;
    static constexpr size_t kAnyStart = 128;
    static constexpr size_t kLongestPrefix = 3;

    struct Bucket
    {
        std::vector<int> entries; // ascending
        std::once_flag built;
        std::unique_ptr<RE2::Set> set;
        std::vector<int> entryOfSlot;
        std::vector<int> broken;
    };
    struct Firmware
    {
        std::string pattern;
        std::once_flag built;
        std::unique_ptr<RE2> re; // null when the pattern does not compile
    };
    std::array<Bucket, kAnyStart + 1> buckets;
    std::map<std::string, Bucket, std::less<>> prefixed; // by a prefix of two or three characters
    std::vector<std::string> models; // by entry
    std::deque<Firmware> firmwares;  // distinct patterns
    std::vector<int> firmwareOf;     // entry -> index into firmwares, or kAnyFirmware
    bool skipFirst = false;          // the default entry
    bool parsed = false;             // a default-constructed database has no "drives"

    // The records' text, which `pieces` view, and the maps made from it.
    QString text;
    std::vector<Pieces> pieces; // by entry
    std::mutex entriesLock;
    ParseCache cache;
    std::vector<QVariantMap> entries; // by entry; empty until built
    std::once_flag allBuilt;
    QVariantMap dictionary;
    QVariantList drives;

    void add(int entry, const std::string &model)
    {
        models.push_back(model);
        const std::set<std::string> prefixes = literalPrefixes(model, kLongestPrefix);
        for (const std::string &prefix : prefixes)
            prefixed[prefix].entries.push_back(entry);
        if (!prefixes.empty())
            return;
        const std::bitset<128> first = firstCharacters(model);
        if (first.none())
            buckets[kAnyStart].entries.push_back(entry);
        for (size_t c = 0; c < 128; ++c)
            if (first[c])
                buckets[c].entries.push_back(entry);
    }
    const Bucket &bucket(Bucket &b)
    {
        std::call_once(b.built, [&] {
            b.set = std::make_unique<RE2::Set>(matchOptions(), RE2::ANCHOR_BOTH);
            for (int entry : b.entries) {
                std::string error;
                if (b.set->Add(models[size_t(entry)], &error) >= 0) {
                    b.entryOfSlot.push_back(entry);
                } else {
                    b.broken.push_back(entry);
                    qCWarning(lcDriveDb).noquote() << "drive database: model pattern"
                                                   << QString::fromStdString(models[size_t(entry)])
                                                   << "does not compile, the entry matches nothing:" << error.c_str();
                }
            }
            b.set->Compile();
        });
        return b;
    }
    // Entries of `b` whose pattern matches all of text, appended.
    void match(const Bucket &b, const std::string &text, std::vector<int> &out)
    {
        thread_local std::vector<int> slots;
        RE2::Set::ErrorInfo error{};
        if (!b.set->Match(text, &slots, &error)) {
            if (error.kind == RE2::Set::kOutOfMemory)
                qCWarning(lcDriveDb) << "drive database: out of matching memory for" << text.c_str();
            return;
        }
        for (int slot : slots)
            out.push_back(b.entryOfSlot[size_t(slot)]);
    }
    const RE2 *firmware(size_t index)
    {
        Firmware &f = firmwares[index];
        std::call_once(f.built, [&f] {
            auto re = std::make_unique<RE2>(f.pattern, matchOptions());
            if (re->ok())
                f.re = std::move(re);
            else
                qCWarning(lcDriveDb).noquote() << "drive database: firmware pattern" << f.pattern.c_str()
                                               << "does not compile, it matches nothing:" << re->error().c_str();
        });
        return f.re.get();
    }
    QVariantMap entry(size_t index)
    {
        const std::lock_guard<std::mutex> lock(entriesLock);
        if (entries[index].isEmpty())
            entries[index] = buildEntry(pieces[index], cache);
        return entries[index];
    }
    void buildAll()
    {
        std::call_once(allBuilt, [this] {
            drives.reserve(qsizetype(pieces.size()));
            for (size_t i = 0; i < pieces.size(); ++i)
                drives.append(entry(i));
            if (parsed)
                dictionary.insert(QStringLiteral("drives"), drives);
        });
    }
};

DriveDatabase::DriveDatabase() : _patterns(std::make_unique<Patterns>()) {}
DriveDatabase::~DriveDatabase() = default;
DriveDatabase::DriveDatabase(DriveDatabase &&) noexcept = default;
DriveDatabase &DriveDatabase::operator=(DriveDatabase &&) noexcept = default;

DriveDatabase DriveDatabase::parse(QByteArrayView bytes, bool *readable)
{
    DriveDatabase db;
    Patterns &p = *db._patterns;
    p.parsed = true;
    Chunks chunks = recordChunks(bytes, readable, p.dictionary);
    QHash<QString, int> firmwareIndex;
    for (QStringView rawChunk : chunks.chunks) {
        const QStringView chunk = rawChunk.trimmed();
        if (!chunk.startsWith(u'{'))
            continue;
        Pieces pieces;
        if (!splitRecord(chunk, pieces))
            continue;
        p.add(int(p.pieces.size()), cleanPattern(pieces[1]).toStdString());
        // An entry without a firmware pattern takes any firmware.
        const QString firmware = cleanPattern(pieces[2]);
        auto fw = firmwareIndex.constFind(firmware);
        if (fw == firmwareIndex.cend()) {
            int index = Patterns::kAnyFirmware;
            if (!firmware.isEmpty()) {
                index = int(p.firmwares.size());
                p.firmwares.emplace_back().pattern = firmware.toStdString();
            }
            fw = firmwareIndex.insert(firmware, index);
        }
        p.firmwareOf.push_back(*fw);
        p.pieces.push_back(pieces);
    }
    // The views stay valid: the text moves, its characters do not.
    p.text = std::move(chunks.joined);
    p.entries.resize(p.pieces.size());
    // The default entry's "-" patterns would catch a model and firmware that are
    // a lone hyphen; it holds presets, not a drive family.
    if (!p.pieces.empty()) {
        const QString family = unescapeC(trimSet(p.pieces.front()[0]));
        p.skipFirst = (family.isEmpty() ? cleanPattern(p.pieces.front()[1]) : family).startsWith(QLatin1String("DEFAULT"));
    }
    return db;
}

const QVariantMap &DriveDatabase::dictionary() const
{
    _patterns->buildAll();
    return _patterns->dictionary;
}

const QVariantList &DriveDatabase::drives() const
{
    _patterns->buildAll();
    return _patterns->drives;
}

int DriveDatabase::brokenPatterns() const
{
    std::set<int> broken;
    const auto count = [&](Patterns::Bucket &b) {
        for (int entry : _patterns->bucket(b).broken)
            broken.insert(entry);
    };
    for (Patterns::Bucket &b : _patterns->buckets)
        count(b);
    for (auto &[prefix, b] : _patterns->prefixed)
        count(b);
    int firmwares = 0;
    for (size_t f = 0; f < _patterns->firmwares.size(); ++f)
        firmwares += _patterns->firmware(f) == nullptr;
    return firmwares + int(broken.size());
}

QVariantMap DriveDatabase::defaultEntry() const
{
    return _patterns->pieces.empty() ? QVariantMap() : _patterns->entry(0);
}

int DriveDatabase::lookupIndex(const QString &model, const QString &firmware) const
{
    Patterns &p = *_patterns;
    const std::string text = model.toStdString();
    thread_local std::vector<int> models;
    models.clear();
    const unsigned char start = text.empty() ? 0 : uchar(text[0]);
    for (size_t length = 2; length <= std::min(text.size(), Patterns::kLongestPrefix); ++length) {
        const auto b = p.prefixed.find(std::string_view(text).substr(0, length));
        if (b != p.prefixed.end())
            p.match(p.bucket(b->second), text, models);
    }
    if (start > 0 && start < Patterns::kAnyStart)
        p.match(p.bucket(p.buckets[start]), text, models);
    p.match(p.bucket(p.buckets[Patterns::kAnyStart]), text, models);
    std::sort(models.begin(), models.end()); // file order
    models.erase(std::unique(models.begin(), models.end()), models.end()); // in two prefixes' sets
    std::string firmwareText;
    bool firmwareConverted = false;
    for (int entry : models) {
        if (entry == 0 && p.skipFirst)
            continue;
        const int fw = p.firmwareOf[size_t(entry)];
        if (fw == Patterns::kAnyFirmware)
            return entry;
        if (!firmwareConverted) {
            firmwareText = firmware.toStdString();
            firmwareConverted = true;
        }
        const RE2 *re = p.firmware(size_t(fw));
        if (re && RE2::FullMatch(firmwareText, *re))
            return entry;
    }
    return -1;
}

QVariantMap DriveDatabase::lookup(const QString &model, const QString &firmware) const
{
    const int index = lookupIndex(model, firmware);
    return index < 0 ? QVariantMap() : _patterns->entry(size_t(index));
}

} // namespace corvane
