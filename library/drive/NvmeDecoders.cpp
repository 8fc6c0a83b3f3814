// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/NvmeDecoders.h"

#include "drive/IdentifyDecoder.h"

#include <algorithm>
#include <limits>

namespace corvane {

namespace {

constexpr size_t kErrorEntrySize = 64;
constexpr size_t kSelfTestResultOffset = 4;
constexpr size_t kSelfTestResultSize = 28;
constexpr size_t kSelfTestResults = 20;
constexpr unsigned kShortSelfTestMinutes = 2;
constexpr unsigned kResultUnused = 0xF;

QString hexText(uint64_t value, int width)
{
    return QStringLiteral("%1").arg(qulonglong(value), width, 16, QLatin1Char('0'));
}

// Length of the valid UTF-8 sequence starting at b[i], or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF are invalid).
size_t utf8SequenceLength(Bytes b, size_t i)
{
    const uint8_t c = b[i];
    if (c < 0x80)
        return 1;
    size_t length;
    uint8_t low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > b.size())
        return 0;
    if (b[i + 1] < low || b[i + 1] > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if (b[i + k] < 0x80 || b[i + k] > 0xBF)
            return 0;
    }
    return length;
}

QVariantMap errorEntry(Bytes e)
{
    return {
        {QStringLiteral("errorCount"), qulonglong(le64(e, 0))},
        {QStringLiteral("sqid"), uint(le16(e, 8))},
        {QStringLiteral("cmdid"), hexText(le16(e, 10), 4)},
        {QStringLiteral("status"), hexText(le16(e, 12), 4)},
        {QStringLiteral("pel"), hexText(le16(e, 14), 4)},
        {QStringLiteral("lba"), qulonglong(le64(e, 16))},
        {QStringLiteral("nsid"), hexText(le32(e, 24), 8)},
        {QStringLiteral("vsia"), hexText(u8(e, 28), 2)},
    };
}

} // namespace

QString nvmeUntrimmedText(Bytes field)
{
    QByteArray valid;
    valid.reserve(qsizetype(field.size()));
    for (size_t i = 0; i < field.size();) {
        const size_t length = utf8SequenceLength(field, i);
        if (length == 0) {
            ++i;
            continue;
        }
        if (field[i] != 0)
            valid.append(reinterpret_cast<const char *>(field.data() + i), qsizetype(length));
        i += length;
    }
    return QString::fromUtf8(valid);
}

QString nvmeText(Bytes field)
{
    QString text = nvmeUntrimmedText(field);
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype begin = 0, end = text.size();
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QVariantMap nvmeIdentifyKeys(Bytes id, uint16_t interfaceVersion, uint16_t interfaceRevision)
{
    const uint8_t mdts = u8(id, 77);
    const uint32_t oui = uint32_t(u8(id, 73)) | uint32_t(u8(id, 74)) << 8 | uint32_t(u8(id, 75)) << 16;
    QVariantMap keys{
        {QStringLiteral("vid"), hexText(le16(id, 0), 4)},
        {QStringLiteral("ssvid"), hexText(le16(id, 2), 4)},
        {QStringLiteral("sn"), nvmeText(slice(id, 4, 20))},
        {QStringLiteral("mn"), nvmeText(slice(id, 24, 40))},
        {QStringLiteral("fr"), nvmeText(slice(id, 64, 8))},
        {QStringLiteral("rab"), uint(u8(id, 72))},
        {QStringLiteral("oui"), hexText(oui, 6)},
        {QStringLiteral("cmic"), hexText(u8(id, 76), 2)},
        // 0 is "no limit" and stays 0. 1 << 31 and beyond do not fit the signed
        // 32-bit value; no real controller reports such a size, so they read as 0 too.
        {QStringLiteral("mdts"), mdts != 0 && mdts < 31 ? int(1u << mdts) : 0},
        {QStringLiteral("ctlid"), uint(le16(id, 78))},
        {QStringLiteral("oacs"), hexText(le16(id, 256), 4)},
        {QStringLiteral("frmw"), hexText(u8(id, 260), 2)},
        {QStringLiteral("lpa"), hexText(u8(id, 261), 2)},
        {QStringLiteral("elpe"), uint(u8(id, 262))},
        {QStringLiteral("npss"), uint(u8(id, 263))},
        {QStringLiteral("warning_oC"), float(le16(id, 266)) - 273.15f},
        {QStringLiteral("critical_oC"), float(le16(id, 268)) - 273.15f},
        {QStringLiteral("nn"), uint(le32(id, 516))},
        {QStringLiteral("oncs"), hexText(le16(id, 520), 4)},
        {QStringLiteral("nvmeIFRev"), QStringLiteral("%1.%2").arg(interfaceVersion).arg(interfaceRevision)},
    };
    // VER: major.minor[.tertiary]. Controllers before NVMe 1.2 may leave it 0;
    // the registry's value (if any) then stands.
    const uint32_t ver = le32(id, 80);
    if (ver != 0) {
        QString text = QStringLiteral("%1.%2").arg(ver >> 16).arg((ver >> 8) & 0xFF);
        if (ver & 0xFF)
            text += QStringLiteral(".%1").arg(ver & 0xFF);
        keys.insert(QStringLiteral("nvmeRevSupported"), text);
    }
    return keys;
}

QString nvmeVerdict(uint8_t criticalWarning)
{
    if (criticalWarning & 0x0C)
        return QStringLiteral("Failed");
    if (criticalWarning & 0x13)
        return QStringLiteral("Warning");
    return QStringLiteral("Passed");
}

QVariantMap nvmeHealthKeys(Bytes log)
{
    const uint8_t warning = u8(log, 0);
    const uint16_t kelvin = le16(log, 1);
    const uint8_t used = u8(log, 5);
    QVariantMap m{
        {QStringLiteral("criticalWarning"), uint(warning)},
        {QStringLiteral("lowSpare"), uint(warning & 1)},
        {QStringLiteral("overTemp"), uint(warning & 2)},
        {QStringLiteral("lowReliability"), uint(warning & 4)},
        {QStringLiteral("readOnly"), uint(warning & 8)},
        {QStringLiteral("failedVMBkup"), uint(warning & 16)},
        {QStringLiteral("attributeHealth"), nvmeVerdict(warning)},
        {QStringLiteral("temperature"), uint(kelvin)},
        {QStringLiteral("availableSpare"), uint(u8(log, 3))},
        {QStringLiteral("spareThreshold"), uint(u8(log, 4))},
        {QStringLiteral("percentUsed"), uint(used)},
        {QStringLiteral("percentRemaining"), uint(used < 100 ? 100 - used : 0)},
        {QStringLiteral("totalBytesRead"), qulonglong(le64(log, 32) * 512000u)},
        {QStringLiteral("totalBytesWritten"), qulonglong(le64(log, 48) * 512000u)},
        {QStringLiteral("temp_oC"), double(kelvin) - 273.15},
        {QStringLiteral("warningTempTime"), uint(le32(log, 192))},
        {QStringLiteral("criticalTempTime"), uint(le32(log, 196))},
    };
    static const char *const counters[] = {
        "dataUnitsRead", "dataUnitsWrite", "hostReads",        "hostWrites",   "controllerBusy",
        "powerCycles",   "powerOnHours",   "unsafeShutdowns",  "mediaErrors",  "lifetimeErrors",
    };
    size_t offset = 32;
    for (const char *name : counters) {
        const QString key = QLatin1String(name);
        m.insert(key + QStringLiteral("Lo"), qulonglong(le64(log, offset)));
        m.insert(key + QStringLiteral("Hi"), qulonglong(le64(log, offset + 8)));
        offset += 16;
    }
    return m;
}

std::optional<qint64> nvmeCounter(const QVariantMap &keys, const QString &name)
{
    const QVariant lo = keys.value(name + QStringLiteral("Lo"));
    if (!lo.isValid())
        return std::nullopt;
    const qulonglong low = lo.toULongLong();
    if (keys.value(name + QStringLiteral("Hi")).toULongLong() != 0 || low > qulonglong(std::numeric_limits<qint64>::max()))
        return std::numeric_limits<qint64>::max();
    return qint64(low);
}

QVariantList nvmePowerStates(Bytes id)
{
    // npss is zero-based and may claim up to 256 states; the Identify data
    // holds 32 descriptors, so more are never read.
    const size_t count = std::min<size_t>(size_t(u8(id, 263)) + 1, kNvmeMaxPowerStates);
    QVariantList states;
    for (size_t i = 0; i < count; ++i) {
        const Bytes d = slice(id, kNvmePowerStateOffset + kNvmePowerStateSize * i, kNvmePowerStateSize);
        const uint8_t flags = u8(d, 3);
        const float mps = (flags & 1) ? 0.0001f : 0.01f;
        states.append(QVariantMap{
            {QStringLiteral("state"), uint(i)},
            {QStringLiteral("mp"), float(le16(d, 0)) * mps},
            {QStringLiteral("mps"), mps},
            {QStringLiteral("nops"), uint((flags & 2) ? 0 : 1)},
            {QStringLiteral("enlat"), uint(le32(d, 4))},
            {QStringLiteral("exlat"), uint(le32(d, 8))},
            {QStringLiteral("rrt"), uint(u8(d, 12))},
            {QStringLiteral("rrl"), uint(u8(d, 13))},
            {QStringLiteral("rwt"), uint(u8(d, 14))},
            {QStringLiteral("rwl"), uint(u8(d, 15))},
        });
    }
    return states;
}

QVariantMap nvmeFirmwareKeys(Bytes id, Bytes log)
{
    const uint8_t frmw = u8(id, 260);
    const unsigned count = (frmw >> 1) & 0x7;
    const uint8_t afi = u8(log, 0);
    const unsigned active = afi & 0x7;
    const QString controllerRevision = nvmeText(slice(id, 64, 8));
    QVariantList slots;
    for (unsigned i = 0; i < count; ++i) {
        const size_t offset = 8 + 8 * size_t(i);
        const QString revision =
            u8(log, offset) == 0 ? controllerRevision : nvmeUntrimmedText(slice(log, offset, 8));
        const bool isActive = count == 1 || i + 1 == active;
        const bool readOnly = i == 0 && (frmw & 1);
        slots.append(QVariantMap{
            {QStringLiteral("slot"), uint(i + 1)},
            {QStringLiteral("active"), isActive ? QStringLiteral("Yes") : QStringLiteral("No")},
            {QStringLiteral("readOnly"), readOnly ? QStringLiteral("Yes") : QStringLiteral("No")},
            {QStringLiteral("firmwareRevision"), revision},
        });
    }
    return {
        {QStringLiteral("firmwareSlots"), slots},
        {QStringLiteral("firmwareSlotCount"), uint(slots.size())},
        {QStringLiteral("activeFirmwareSlot"), uint(active)},
        {QStringLiteral("nextFirmwareSlot"), uint((afi >> 4) & 0x7)},
    };
}

size_t nvmeErrorLogEntryCount(Bytes id)
{
    return size_t(u8(id, 262)) + 1;
}

QVariantList nvmeErrorLog(Bytes log, size_t entries)
{
    QVariantList list;
    const size_t available = std::min(entries, log.size() / kErrorEntrySize);
    for (size_t i = 0; i < available; ++i) {
        const Bytes e = slice(log, i * kErrorEntrySize, kErrorEntrySize);
        if (le64(e, 0) != 0)
            list.append(errorEntry(e));
    }
    return list;
}

bool nvmeSelfTestSupported(Bytes id)
{
    return (le16(id, 256) & 0x10) != 0;
}

QVariantList nvmeSelfTestOffers(Bytes id)
{
    if (!nvmeSelfTestSupported(id))
        return {};
    const unsigned extended = le16(id, 316);
    const auto offer = [](const char *name, const char *display, unsigned minutes) {
        return QVariantMap{{QStringLiteral("name"), QLatin1String(name)},
                           {QStringLiteral("displayName"), QLatin1String(display)},
                           {QStringLiteral("pollingTime"), minutes},
                           {QStringLiteral("timeToComplete"), pollingTimeText(minutes)}};
    };
    return {offer("Short", "Short device self-test", kShortSelfTestMinutes),
            offer("Extended", "Extended device self-test", extended)};
}

QString nvmeSelfTestTypeText(unsigned code)
{
    switch (code) {
    case 0x1:
        return QStringLiteral("Short");
    case 0x2:
        return QStringLiteral("Extended");
    case 0xE:
        return QStringLiteral("Vendor specific");
    default:
        return QStringLiteral("Reserved (0x%1)").arg(code, 0, 16);
    }
}

QString nvmeSelfTestResultText(unsigned result)
{
    static const char *const texts[] = {
        "Completed without error",
        "Aborted: Device Self-test command",
        "Aborted: Controller reset",
        "Aborted: Namespace removed",
        "Aborted: Format NVM command",
        "Fatal or unknown test error",
        "Completed: unknown segment failed",
        "Completed: segments failed",
        "Aborted: unknown reason",
        "Aborted: Sanitize operation",
    };
    if (result < std::size(texts))
        return QLatin1String(texts[result]);
    return QStringLiteral("Unknown result (0x%1)").arg(result, 0, 16);
}

bool nvmeSelfTestFailed(unsigned result)
{
    return result >= 5 && result <= 7;
}

QVariantMap nvmeSelfTestLog(Bytes log)
{
    QVariantList results;
    for (size_t i = 0; i < kSelfTestResults; ++i) {
        const size_t offset = kSelfTestResultOffset + i * kSelfTestResultSize;
        // A truncated page ends the list; a missing byte must not read as
        // result 0 ("Completed without error").
        if (offset + kSelfTestResultSize > log.size())
            break;
        const Bytes e = slice(log, offset, kSelfTestResultSize);
        const unsigned result = e[0] & 0x0F, code = e[0] >> 4;
        if (result == kResultUnused)
            continue;
        const uint8_t valid = e[2];
        results.append(QVariantMap{
            {QStringLiteral("code"), code},
            {QStringLiteral("type"), nvmeSelfTestTypeText(code)},
            {QStringLiteral("result"), result},
            {QStringLiteral("resultText"), nvmeSelfTestResultText(result)},
            {QStringLiteral("segment"), uint(e[1])},
            {QStringLiteral("powerOnHours"), qulonglong(le64(e, 4))},
            {QStringLiteral("nsid"), valid & 0x1 ? QVariant(hexText(le32(e, 12), 8)) : QVariant(QString())},
            {QStringLiteral("failingLba"), valid & 0x2 ? QVariant(qulonglong(le64(e, 16))) : QVariant(QString())},
            {QStringLiteral("statusCodeType"), valid & 0x4 ? QVariant(hexText(e[24] & 0x7, 1)) : QVariant(QString())},
            {QStringLiteral("statusCode"), valid & 0x8 ? QVariant(hexText(e[25], 2)) : QVariant(QString())},
        });
    }
    return {
        {QStringLiteral("selfTestOperation"), uint(u8(log, 0) & 0x0F)},
        {QStringLiteral("selfTestCompletion"), uint(u8(log, 1) & 0x7F)},
        {QStringLiteral("nvmeSelfTestResults"), results},
    };
}

} // namespace corvane
