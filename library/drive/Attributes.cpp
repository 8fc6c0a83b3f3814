// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/Attributes.h"

#include "database/DriveDatabase.h"
#include "database/THSmartDeviceDatabase.h"
#include "drive/Bytes.h"


#include <array>
#include <climits>
#include <cstdio>

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

// The leading integer of a decoded text, saturating; 0 when it starts with no number.
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
    if (overflow || v > ull(LLONG_MAX))
        return negative ? LLONG_MIN : LLONG_MAX;
    return negative ? -(long long)v : (long long)v;
}

int clampInt32(long long v)
{
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

} // namespace

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

QString decodeRawAttribute(std::span<const uint8_t> entry, const QString &fmtName)
{
    const Bytes e = entry;
    const QString f = fmtName.toLower();
    const auto is = [&](const char *name) { return f == QLatin1String(name); };

    if (is("raw8"))
        return format("%d %d %d %d %d %d", u8(e, R5), u8(e, R4), u8(e, R3), u8(e, R2), u8(e, R1), u8(e, R0));
    if (is("raw16"))
        return format("%u %u %u", unsigned(le(e, R4, R5)), unsigned(le(e, R2, R3)), unsigned(le(e, R0, R1)));
    if (is("hex48"))
        return format("0x%012llx", le(e, R0, R1, R2, R3, R4, R5));
    if (is("raw48:54321"))
        return format("%llu", le(e, R1, R2, R3, R4, R5));
    if (is("raw56"))
        return format("%llu", le(e, R0, R1, R2, R3, R4, R5, X));
    if (is("hex56"))
        return format("0x%014llx", le(e, R0, R1, R2, R3, R4, R5, X));
    if (is("raw64"))
        return format("%llu", le(e, V, W, R0, R1, R2, R3, R4, R5));
    if (is("hex64"))
        return format("0x%016llx", le(e, V, W, R0, R1, R2, R3, R4, R5));
    if (is("raw16(raw16)"))
        return format("%u (%u %u)", unsigned(le(e, R0, R1)), unsigned(le(e, R4, R5)), unsigned(le(e, R2, R3)));
    if (is("raw16(avg16)"))
        return format("%u (%u)", unsigned(le(e, R0, R1)), unsigned(le(e, R2, R3)));
    if (is("raw24(raw8)"))
        return format("%u (%d %d %d)", unsigned(le(e, R0, R1, R2)), u8(e, R5), u8(e, R4), u8(e, R3));
    if (is("raw24/raw24"))
        return format("%llu/%llu", le(e, R3, R4, R5), le(e, R0, R1, R2));
    if (is("raw24/raw32"))
        return format("%llu/%llu", le(e, R4, R5, X), le(e, R0, R1, R2));
    if (is("sec2hour")) {
        const ull s = le(e, R0, R1, R2, R3, R4, R5);
        return format("%02llu:%02llu:%02llus", s / 3600, (s % 3600) / 60, s % 60);
    }
    if (is("min2hour")) {
        const ull m = le(e, R0, R1, R2, R3);
        return format("%02llu:%02llu (%u)", m / 60, m % 60, unsigned(le(e, R4, R5)));
    }
    if (is("halfmin2hour")) {
        const ull h = le(e, R0, R1, R2, R3, R4, R5);
        return format("%02llu:%02llu", h / 120, (h / 2) % 60);
    }
    if (is("msec24hour32")) {
        const ull m = le(e, R4, R5, X);
        // Decimals through QString: printf would follow the user's locale (Qt sets it) and write "40,293".
        return format("%llu:%02llu:", le(e, R0, R1, R2, R3), m / 60000)
               + QString::number(double(m % 60000) / 1000.0, 'f', 3).rightJustified(6, u'0');
    }
    if (is("temp10x"))
        return QString::number(double(le(e, R0, R1)) / 10.0, 'f', 1);
    if (is("tempminmax")) {
        std::array<int16_t, 4> t{};
        raw(slice(e, R0, 6), t);
        return format("%d, %d, %d, %d", t[0], t[1], t[2], t[3]);
    }
    if (is("raw24/raw32:210zr54"))
        return format("%llu/%llu", le(e, R0, R1, R2), le(e, R4, R5, X));
    if (is("raw24/raw32:04321"))
        return format("%hhu/%u", u8(e, R0), unsigned(le(e, R1, R2, R3, R4)));
    if (is("raw24/raw32:zvzzzw"))
        return format("%hhu/%hhu", u8(e, V), u8(e, W));
    if (is("raw24/raw24:z54z10"))
        return format("%d/%d", int(le(e, R4, R5)), int(le(e, R0, R1)));
    if (is("raw24/raw24:w01234"))
        return format("%llu/%llu", be(e, W, R0, R1), be(e, R2, R3, R4));
    if (is("raw24/raw24:w01z23"))
        return format("%llu/%llu", be(e, W, R0, R1), be(e, R2, R3));
    if (is("hex64:w012345r"))
        return format("0x%016llx", be(e, W, R0, R1, R2, R3, R4, R5, X));
    if (is("hex48:w01234"))
        return format("0x%016llx", be(e, W, R0, R1, R2, R3, R4));
    // "raw48", "default" and every name not known here.
    return format("%llu", le(e, R0, R1, R2, R3, R4, R5));
}

QVariantMap attributesModel(std::span<const uint8_t> smartData, std::span<const uint8_t> smartThresh,
                            const QString &model, const QString &firmware, const QVariantMap &ignore, bool isfail)
{
    const auto db = THSmartDeviceDatabase::database();
    return attributesModel(*db, smartData, smartThresh, model, firmware, ignore, isfail);
}

QVariantMap attributesModel(const DriveDatabase &db, std::span<const uint8_t> smartData,
                            std::span<const uint8_t> smartThresh, const QString &model, const QString &firmware,
                            const QVariantMap &ignore, bool isfail)
{
    const QVariantMap driveEntry = db.lookup(model, firmware);
    const QVariantMap driveDict = driveEntry.value(QStringLiteral("attribDict")).toMap();
    const QVariantMap defaultDict = db.defaultEntry().value(QStringLiteral("attribDict")).toMap();
    const QString normal = QString::fromLatin1(kControlTextColor);
    const QString failure = QString::fromLatin1(kFailureColor);

    QVariantList records;
    QVariantMap vsaDict;
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
        const QString idText = QString::number(id);

        const QVariantMap own = driveDict.value(idText).toMap();
        const QVariantMap fallback = defaultDict.value(idText).toMap();
        // An empty name (the legacy "loadunload" row) says nothing; look further.
        QString name = own.value(QStringLiteral("name")).toString();
        if (name.isEmpty())
            name = fallback.value(QStringLiteral("name")).toString();
        if (name.isEmpty())
            name = QStringLiteral("Unknown");
        QString fmt = own.value(QStringLiteral("fmt")).toString();
        if (fmt.isEmpty())
            fmt = fallback.value(QStringLiteral("fmt")).toString();
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

        QVariantMap record{
            {QStringLiteral("ID"), idText},
            {QStringLiteral("attributeName"), name},
            {QStringLiteral("flags"), QString::asprintf("%04X", flags)},
            {QStringLiteral("value"), QString::number(value)},
            {QStringLiteral("worst"), QString::number(worst)},
            {QStringLiteral("threshold"), QString::number(threshold)},
            {QStringLiteral("type"), (flags & 1) ? QStringLiteral("Pre-fail") : QStringLiteral("Old age")},
            {QStringLiteral("updated"), (flags & 2) ? QStringLiteral("Always") : QStringLiteral("Offline")},
            {QStringLiteral("condition"), condition},
            {QStringLiteral("rawValue"), rawText.isEmpty() ? QStringLiteral("-") : rawText},
            {QStringLiteral("min"), minText},
            {QStringLiteral("max"), maxText},
            {QStringLiteral("fmt"), fmt},
        };
        vsaDict.insert(idText, record);

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
        record.insert(QStringLiteral("bad"), bad);
        records.append(record);

        // The hard-drive hint: "seek|spin|head|fly" anywhere, any letter case.
        if (!isHDD)
            for (const char *word : {"seek", "spin", "head", "fly"})
                if (name.contains(QLatin1String(word), Qt::CaseInsensitive))
                    isHDD = true;
    }

    const QString health = isfail ? QStringLiteral("Failed") : QStringLiteral("Passed");
    const QString attributeHealth = isfail ? QStringLiteral("Failed")
                                    : anyBad ? QStringLiteral("Warning")
                                             : QStringLiteral("Passed");
    const int temperature = temp194 > 0 ? temp194 : temp190 > 0 ? temp190 : 0;
    const uint16_t revision = le16(smartData, 0);
    const bool crcBad = crcErrorCount.typeId() != QMetaType::QString && crcErrorCount.toInt() != 0;

    return QVariantMap{
        {QStringLiteral("powerOnHours"), powerOnHours},
        {QStringLiteral("powerCycleCount"), powerCycleCount},
        {QStringLiteral("temperature"), temperature},
        {QStringLiteral("crcErrorCount"), crcErrorCount},
        {QStringLiteral("crcErrorCountColor"), crcBad ? failure : normal},
        {QStringLiteral("attributeHealth"), attributeHealth},
        {QStringLiteral("health"), health},
        {QStringLiteral("attributesDataStructureRev"), revision ? QVariant(revision) : QVariant(QString())},
        {QStringLiteral("vendorspecificAttributes"), records},
        {QStringLiteral("isEnabledAttributes"), found ? 1 : 0},
        {QStringLiteral("vsaDict"), vsaDict},
        {QStringLiteral("Model Family"), QStringLiteral("-")},
        {QStringLiteral("isHDD"), isHDD ? 1 : 0},
    };
}

} // namespace corvane
