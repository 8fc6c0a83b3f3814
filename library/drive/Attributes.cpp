// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/Attributes.h"

#include "database/DriveDatabase.h"
#include "drive/Bytes.h"
#include "drive/RecordShape.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <utility>
#include <map>
#include <climits>
#include <limits>
#include <cstdio>
#include <string_view>

namespace corvane {

namespace {

using ull = unsigned long long;

// LE of the listed entry bytes, lowest first.
template<typename... I>
ull le(Bytes e, I... offsets)
{
    ull v = 0;
    int shift = 0;
    ((v |= ull(u8(e, size_t(offsets))) << shift, shift += 8), ...);
    return v;
}

// BE of the listed entry bytes, highest first.
template<typename... I>
ull be(Bytes e, I... offsets)
{
    ull v = 0;
    ((v = (v << 8) | u8(e, size_t(offsets))), ...);
    return v;
}

// Entry byte offsets.
enum : int { V = 3, W = 4, R0 = 5, R1, R2, R3, R4, R5, X = 11 };

template<typename... A>
QString format(const char *fmt, A... args)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return QString::fromLatin1(buf);
}

int clampInt32(long long v)
{
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

// 256 texts made once into static storage and never freed: copies of them
// cost no reference counting.
template<typename MakeText>
std::array<QString, 256> permanentTexts(char16_t (&storage)[256][4], MakeText make)
{
    std::array<QString, 256> t;
    for (int i = 0; i < 256; ++i) {
        const QString n = make(i);
        std::copy(n.utf16(), n.utf16() + n.size(), storage[i]);
        t[size_t(i)] = QString::fromRawData(reinterpret_cast<const QChar *>(storage[i]), n.size());
    }
    return t;
}

// Most fields of a record are bytes.
const QString &byteText(uint8_t v)
{
    static char16_t storage[256][4];
    static const std::array<QString, 256> texts = permanentTexts(storage, [](int i) { return QString::number(i); });
    return texts[v];
}

// Flags in four hex digits. Drives set only the low bits, so those texts are
// made once, like byteText()'s.
QString hex4(uint16_t v)
{
    const auto text = [](int n) { return QString::number(n, 16).toUpper().rightJustified(4, u'0'); };
    static char16_t storage[256][4];
    static const std::array<QString, 256> low = permanentTexts(storage, text);
    return v < low.size() ? low[v] : text(v);
}

} // namespace

long long leadingInteger(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    unsigned long long v = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const unsigned digit = text[i].unicode() - u'0';
        if (v > (ULLONG_MAX - digit) / 10)
            overflow = true;
        else
            v = v * 10 + digit;
    }
    if (overflow || v > (unsigned long long)LLONG_MAX)
        return negative ? LLONG_MIN : LLONG_MAX;
    return negative ? -(long long)v : (long long)v;
}

void raw(std::span<const uint8_t> rawBytes, std::span<int16_t, 4> temp)
{
    const auto r = [&](size_t i) { return int(u8(rawBytes, i)); };
    struct Layout { int lo, hi; bool ok; int fourth; };
    const Layout layouts[] = {
        {r(2), r(3), r(2) == 0 && r(3) == 0 && r(4) == 0 && r(5) == 0, 0},
        {r(1), r(2), r(3) == 0 && r(4) == 0 && r(5) == 0, 0},
        {r(2), r(3), r(4) == 0 && r(5) == 0, 0},
        {r(2), r(4), true, 0},
        {r(2), r(3), true, int16_t(r(4) | (r(5) << 8))},
        {r(2), r(3), true, 0},
    };
    const int current = r(0);
    for (size_t i = 0; i < std::size(layouts); ++i) {
        const Layout &l = layouts[i];
        const int mn = std::min(l.lo, l.hi), mx = std::max(l.lo, l.hi);
        const bool last = i + 1 == std::size(layouts);
        if ((mn <= current && current <= mx && l.ok && mx <= 120) || last) {
            temp[0] = int16_t(current);
            temp[1] = int16_t(mn);
            temp[2] = int16_t(mx);
            temp[3] = int16_t(l.fourth);
            return;
        }
    }
}

enum class Format {
    Raw8,
    Raw16,
    Hex48,
    Raw48_54321,
    Raw56,
    Hex56,
    Raw64,
    Hex64,
    Raw16Raw16,
    Raw16Avg16,
    Raw24Raw8,
    Raw24Raw24,
    Raw24Raw32,
    Sec2Hour,
    Min2Hour,
    HalfMin2Hour,
    Msec24Hour32,
    Temp10x,
    TempMinMax,
    Raw24Raw32_210zr54,
    Raw24Raw32_04321,
    Raw24Raw32_zvzzzw,
    Raw24Raw24_z54z10,
    Raw24Raw24_w01234,
    Raw24Raw24_w01z23,
    Hex64_w012345r,
    Hex48_w01234,
    Raw48, // and every name not known here
};

// Every format decodeRawAttribute() knows besides "raw48", lower case.
constexpr std::pair<const char *, Format> kFormats[] = {
    {"raw8", Format::Raw8},
    {"raw16", Format::Raw16},
    {"hex48", Format::Hex48},
    {"raw48:54321", Format::Raw48_54321},
    {"raw56", Format::Raw56},
    {"hex56", Format::Hex56},
    {"raw64", Format::Raw64},
    {"hex64", Format::Hex64},
    {"raw16(raw16)", Format::Raw16Raw16},
    {"raw16(avg16)", Format::Raw16Avg16},
    {"raw24(raw8)", Format::Raw24Raw8},
    {"raw24/raw24", Format::Raw24Raw24},
    {"raw24/raw32", Format::Raw24Raw32},
    {"sec2hour", Format::Sec2Hour},
    {"min2hour", Format::Min2Hour},
    {"halfmin2hour", Format::HalfMin2Hour},
    {"msec24hour32", Format::Msec24Hour32},
    {"temp10x", Format::Temp10x},
    {"tempminmax", Format::TempMinMax},
    {"raw24/raw32:210zr54", Format::Raw24Raw32_210zr54},
    {"raw24/raw32:04321", Format::Raw24Raw32_04321},
    {"raw24/raw32:zvzzzw", Format::Raw24Raw32_zvzzzw},
    {"raw24/raw24:z54z10", Format::Raw24Raw24_z54z10},
    {"raw24/raw24:w01234", Format::Raw24Raw24_w01234},
    {"raw24/raw24:w01z23", Format::Raw24Raw24_w01z23},
    {"hex64:w012345r", Format::Hex64_w012345r},
    {"hex48:w01234", Format::Hex48_w01234},
};

QString decodeRawAttribute(std::span<const uint8_t> entry, const QString &fmtName)
{
    const Bytes e = entry;
    // Most attributes are raw48, a name the table below does not hold.
    static const QString raw48 = QStringLiteral("raw48");
    if (fmtName == raw48) {
        // Counters that stay at zero or small: a shared text, nothing allocated.
        const ull value = le(e, R0, R1, R2, R3, R4, R5);
        return value <= 255 ? byteText(uint8_t(value)) : QString::number(value);
    }
    // Formats are looked up by name once, not compared one by one.
    static const QHash<QString, Format> formats = [] {
        QHash<QString, Format> h;
        for (const auto &[name, format] : kFormats)
            h.insert(QString::fromLatin1(name), format);
        return h;
    }();
    Format known = formats.value(fmtName, Format::Raw48);
    if (known == Format::Raw48 && !fmtName.isEmpty())
        known = formats.value(fmtName.toLower(), Format::Raw48);

    switch (known) {
    case Format::Raw8:
        return format("%d %d %d %d %d %d", u8(e, R5), u8(e, R4), u8(e, R3), u8(e, R2), u8(e, R1), u8(e, R0));
    case Format::Raw16:
        return format("%u %u %u", unsigned(le(e, R4, R5)), unsigned(le(e, R2, R3)), unsigned(le(e, R0, R1)));
    case Format::Hex48:
        return format("0x%012llx", le(e, R0, R1, R2, R3, R4, R5));
    case Format::Raw48_54321:
        return QString::number(le(e, R1, R2, R3, R4, R5));
    case Format::Raw56:
        return QString::number(le(e, R0, R1, R2, R3, R4, R5, X));
    case Format::Hex56:
        return format("0x%014llx", le(e, R0, R1, R2, R3, R4, R5, X));
    case Format::Raw64:
        return QString::number(le(e, V, W, R0, R1, R2, R3, R4, R5));
    case Format::Hex64:
        return format("0x%016llx", le(e, V, W, R0, R1, R2, R3, R4, R5));
    case Format::Raw16Raw16:
        return format("%u (%u %u)", unsigned(le(e, R0, R1)), unsigned(le(e, R4, R5)), unsigned(le(e, R2, R3)));
    case Format::Raw16Avg16:
        return format("%u (%u)", unsigned(le(e, R0, R1)), unsigned(le(e, R2, R3)));
    case Format::Raw24Raw8:
        return format("%u (%d %d %d)", unsigned(le(e, R0, R1, R2)), u8(e, R5), u8(e, R4), u8(e, R3));
    case Format::Raw24Raw24:
        return format("%llu/%llu", le(e, R3, R4, R5), le(e, R0, R1, R2));
    case Format::Raw24Raw32:
        return format("%llu/%llu", le(e, R4, R5, X), le(e, R0, R1, R2));
    case Format::Sec2Hour: {
        const ull s = le(e, R0, R1, R2, R3, R4, R5);
        return format("%02llu:%02llu:%02llus", s / 3600, (s % 3600) / 60, s % 60);
    }
    case Format::Min2Hour: {
        const ull m = le(e, R0, R1, R2, R3);
        return format("%02llu:%02llu (%u)", m / 60, m % 60, unsigned(le(e, R4, R5)));
    }
    case Format::HalfMin2Hour: {
        const ull h = le(e, R0, R1, R2, R3, R4, R5);
        return format("%02llu:%02llu", h / 120, (h / 2) % 60);
    }
    case Format::Msec24Hour32: {
        const ull m = le(e, R4, R5, X);
        // Decimals through QString: printf would follow the user's locale (Qt sets it) and write "40,293".
        return format("%llu:%02llu:", le(e, R0, R1, R2, R3), m / 60000)
               + QString::number(double(m % 60000) / 1000.0, 'f', 3).rightJustified(6, u'0');
    }
    case Format::Temp10x:
        return QString::number(double(le(e, R0, R1)) / 10.0, 'f', 1);
    case Format::TempMinMax: {
        std::array<int16_t, 4> t{};
        raw(slice(e, R0, 6), t);
        return format("%d, %d, %d, %d", t[0], t[1], t[2], t[3]);
    }
    case Format::Raw24Raw32_210zr54:
        return format("%llu/%llu", le(e, R0, R1, R2), le(e, R4, R5, X));
    case Format::Raw24Raw32_04321:
        return format("%hhu/%u", u8(e, R0), unsigned(le(e, R1, R2, R3, R4)));
    case Format::Raw24Raw32_zvzzzw:
        return format("%hhu/%hhu", u8(e, V), u8(e, W));
    case Format::Raw24Raw24_z54z10:
        return format("%d/%d", int(le(e, R4, R5)), int(le(e, R0, R1)));
    case Format::Raw24Raw24_w01234:
        return format("%llu/%llu", be(e, W, R0, R1), be(e, R2, R3, R4));
    case Format::Raw24Raw24_w01z23:
        return format("%llu/%llu", be(e, W, R0, R1), be(e, R2, R3));
    case Format::Hex64_w012345r:
        return format("0x%016llx", be(e, W, R0, R1, R2, R3, R4, R5, X));
    case Format::Hex48_w01234:
        return format("0x%016llx", be(e, W, R0, R1, R2, R3, R4));
    case Format::Raw48:
        break;
    }
    // "raw48", "default" and every name not known here. Most attributes are
    // raw48: printf's format parsing was a tenth of the attribute pass.
    return QString::number(le(e, R0, R1, R2, R3, R4, R5));
}


namespace {

// The hard-drive hint: "seek", "spin", "head" or "fly" anywhere, any letter
// case. The words are ASCII letters, so folding by hand is enough (and QChar's
// Unicode folding was a fair share of the attribute pass).
bool namesDiskMechanics(QStringView name)
{
    static constexpr std::string_view words[] = {"seek", "spin", "head", "fly"};
    const auto folded = [](QChar c) { return c.unicode() < 0x80 ? char(c.unicode() | 0x20) : '\0'; };
    for (qsizetype i = 0; i < name.size(); ++i) {
        // Only a letter a word starts with is worth a closer look: trying
        // every word at every letter was a sixth of the attribute pass.
        const char first = folded(name[i]);
        if (first != 's' && first != 'h' && first != 'f')
            continue;
        for (const std::string_view word : words) {
            if (word[0] != first || name.size() - i < qsizetype(word.size()))
                continue;
            size_t k = 1;
            while (k < word.size() && folded(name[i + qsizetype(k)]) == word[k])
                ++k;
            if (k == word.size())
                return true;
        }
    }
    return false;
}

// The ids 0..255 in the order of their texts ("10" before "9"), which is the
// order of a dictionary by "ID": built in that order it needs no searching.
const std::array<uint8_t, 256> &idsInTextOrder()
{
    static const std::array<uint8_t, 256> ids = [] {
        std::array<uint8_t, 256> order;
        for (int i = 0; i < 256; ++i)
            order[size_t(i)] = uint8_t(i);
        std::sort(order.begin(), order.end(), [](uint8_t a, uint8_t b) { return byteText(a) < byteText(b); });
        return order;
    }();
    return ids;
}

// The presets of the listed ids in an "attribDict", read in place: a copy of
// each nested map and value was a fair share of the attribute pass. One walk
// reads the ids off the keys instead of a search by text for every attribute.
using Presets = std::array<const QVariantMap *, 256>;
Presets presetsOf(const QVariantMap &dict, const std::array<bool, 256> &listed)
{
    // The id a key names, exactly as byteText() writes it ("194"), or -1.
    const auto idOf = [](QStringView key) {
        if (key.isEmpty() || key.size() > 3 || (key.size() > 1 && key[0] == u'0'))
            return -1;
        int id = 0;
        for (const QChar c : key) {
            if (c < u'0' || c > u'9')
                return -1;
            id = id * 10 + (c.unicode() - u'0');
        }
        return id <= 255 ? id : -1;
    };
    Presets presets{};
    for (auto it = dict.cbegin(); it != dict.cend(); ++it) {
        const int id = idOf(it.key());
        if (id >= 0 && listed[size_t(id)] && it->metaType() == QMetaType::fromType<QVariantMap>())
            presets[size_t(id)] = static_cast<const QVariantMap *>(it->constData());
    }
    return presets;
}

QString presetText(const QVariantMap *preset, const QString &key)
{
    if (!preset)
        return {};
    const auto it = preset->constFind(key);
    // A QString value comes back shared, not converted.
    return it == preset->cend() ? QString() : it->toString();
}

} // namespace

std::optional<long long> rawValueInteger(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("-"))
        return std::nullopt;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        bool ok = false;
        const qulonglong v = t.mid(2).toULongLong(&ok, 16);
        if (!ok)
            return std::nullopt;
        return v > qulonglong(std::numeric_limits<long long>::max()) ? std::numeric_limits<long long>::max()
                                                                     : (long long)(v);
    }
    return leadingInteger(t);
}

QVariantMap attributesModel(const DriveDatabase &db, std::span<const uint8_t> smartData,
                            std::span<const uint8_t> smartThresh, const QString &model, const QString &firmware,
                            const QVariantMap &ignore, bool isfail)
{
    const QVariantMap driveEntry = db.lookup(model, firmware);
    const QVariantMap driveDict = driveEntry.value(QStringLiteral("attribDict")).toMap();
    const QVariantMap defaultDict = db.defaultEntry().value(QStringLiteral("attribDict")).toMap();
    std::array<bool, 256> listed{};
    for (size_t i = 0; i < 30; ++i)
        listed[u8(smartData, 2 + 12 * i)] = true;
    const Presets ownPresets = presetsOf(driveDict, listed);
    const Presets fallbackPresets = presetsOf(defaultDict, listed);
    static const QString normal = QString::fromLatin1(kControlTextColor);
    static const QString failure = QString::fromLatin1(kFailureColor);
    static const QString kName = QStringLiteral("name"), kFmt = QStringLiteral("fmt");

    QVariantList records;
    records.reserve(30);
    std::array<qsizetype, 256> recordOfId;
    recordOfId.fill(-1);
    QVariant powerOnHours = QString(), powerCycleCount = QString(), crcErrorCount = QString();
    int temp194 = 0, temp190 = 0;
    bool anyBad = false, found = false, isHDD = false;

    for (size_t i = 0; i < 30; ++i) {
        const Bytes entry = slice(smartData, 2 + 12 * i, 12);
        const uint8_t id = u8(entry, 0);
        if (id == 0)
            continue;
        found = true;
        const uint8_t threshold = u8(smartThresh, 2 + 12 * i + 1);
        const uint16_t flags = le16(entry, 1);
        const uint8_t value = u8(entry, 3), worst = u8(entry, 4);
        const QString &idText = byteText(id);

        const QVariantMap *own = ownPresets[id];
        const QVariantMap *fallback = fallbackPresets[id];
        // An empty name (the legacy "loadunload" row) says nothing; look further.
        QString name = presetText(own, kName);
        if (name.isEmpty())
            name = presetText(fallback, kName);
        if (name.isEmpty())
            name = QStringLiteral("Unknown");
        QString fmt = presetText(own, kFmt);
        if (fmt.isEmpty())
            fmt = presetText(fallback, kFmt);
        if (fmt.isEmpty())
            fmt = QStringLiteral("raw48");

        const QString rawText = decodeRawAttribute(entry, fmt);
        QString minText, maxText;
        if (fmt == QLatin1String("tempminmax")) {
            const QStringList parts = rawText.split(u',');
            if (leadingInteger(parts.value(1)) != 0)
                minText = parts.value(1);
            if (leadingInteger(parts.value(2)) != 0)
                maxText = parts.value(2);
        }

        QString condition = QStringLiteral("Never");
        if (threshold != 0) {
            if (value <= threshold)
                condition = QStringLiteral("FAILING NOW");
            else if (worst <= threshold)
                condition = QStringLiteral("In the past");
        }

        const long long rawInteger = leadingInteger(rawText);
        bool problem = false;
        const char *ignoreKey = nullptr;
        switch (id) {
        case 5: problem = rawInteger > 0; ignoreKey = "a5"; break;
        case 9: powerOnHours = rawText; break;
        case 10: problem = rawInteger > 0; ignoreKey = "a10"; break;
        case 12: powerCycleCount = rawInteger >= 1 ? QVariant(rawInteger) : QVariant(QString()); break;
        case 184: problem = rawInteger > 0; ignoreKey = "a184"; break;
        case 187: problem = rawInteger > 0; ignoreKey = "a187"; break;
        case 188: problem = rawInteger > 10000; ignoreKey = "a188"; break;
        case 190: ignoreKey = "a190"; temp190 = u8(entry, R0); break;
        case 194: ignoreKey = "a194"; temp194 = u8(entry, R0); break;
        case 196: problem = rawInteger > 0; ignoreKey = "a196"; break;
        case 197:
        case 198: problem = rawInteger > 0; break;
        case 199: crcErrorCount = clampInt32(rawInteger); break;
        default: break;
        }
        const bool belowThreshold = threshold != 0 && value <= threshold;
        const bool ignored = ignoreKey && ignore.value(QLatin1String(ignoreKey)).toBool();
        const bool bad = (problem || belowThreshold) && !ignored;
        anyBad = anyBad || bad;

        // One record for the table and the dictionary: the map is shared, not
        // copied (building a second one per attribute was most of this pass).
        static const RecordShape row;
        const QVariant record(row.make({
            {"ID", idText},
            {"attributeName", name},
            {"bad", bad},
            {"condition", condition},
            {"flags", hex4(flags)},
            {"fmt", fmt},
            {"max", maxText},
            {"min", minText},
            {"rawValue", rawText.isEmpty() ? QStringLiteral("-") : rawText},
            {"threshold", byteText(threshold)},
            {"type", (flags & 1) ? QStringLiteral("Pre-fail") : QStringLiteral("Old age")},
            {"updated", (flags & 2) ? QStringLiteral("Always") : QStringLiteral("Offline")},
            {"value", byteText(value)},
            {"worst", byteText(worst)},
        }));
        recordOfId[id] = records.size(); // a repeated id: the later record wins
        records.append(record);

        if (!isHDD)
            isHDD = namesDiskMechanics(name);
    }

    const QString health = isfail ? QStringLiteral("Failed") : QStringLiteral("Passed");
    const QString attributeHealth = isfail ? QStringLiteral("Failed")
                                    : anyBad ? QStringLiteral("Warning")
                                             : QStringLiteral("Passed");
    const int temperature = temp194 > 0 ? temp194 : temp190 > 0 ? temp190 : 0;
    const uint16_t revision = le16(smartData, 0);
    const bool crcBad = crcErrorCount.typeId() != QMetaType::QString && crcErrorCount.toInt() != 0;

    std::map<QString, QVariant> vsaDict;
    for (const uint8_t id : idsInTextOrder())
        if (recordOfId[id] >= 0)
            vsaDict.emplace_hint(vsaDict.end(), byteText(id), records.at(recordOfId[id]));

    static const RecordShape shape;
    return shape.make({
        {"Model Family", QStringLiteral("-")},
        {"attributeHealth", attributeHealth},
        {"attributesDataStructureRev", revision ? QVariant(revision) : QVariant(QString())},
        {"crcErrorCount", crcErrorCount},
        {"crcErrorCountColor", crcBad ? failure : normal},
        {"health", health},
        {"isEnabledAttributes", found ? 1 : 0},
        {"isHDD", isHDD ? 1 : 0},
        {"modelFamily", driveEntry.value(QStringLiteral("modelfamily")).toString()},
        {"powerCycleCount", powerCycleCount},
        {"powerOnHours", powerOnHours},
        {"temperature", temperature},
        {"vendorspecificAttributes", std::move(records)},
        {"vsaDict", QVariantMap(std::move(vsaDict))},
    });
}

} // namespace corvane
