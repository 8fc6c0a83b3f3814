// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/IdentifyDecoder.h"

#include "drive/AtaTables.h"
#include "drive/AtaPages.h"
#include "drive/RecordShape.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QVariantList>

#include <algorithm>
#include <cstring>
#include <utility>

namespace corvane {

namespace {

// Index of the highest set bit among bits hi..0, or -1.
int highestBit(unsigned value, int hi)
{
    for (int bit = hi; bit >= 0; --bit) {
        if (value & (1u << bit))
            return bit;
    }
    return -1;
}

QString formFactorText(unsigned word168)
{
    static const char *const texts[] = {"", "5.25 inch ", "3.5 inch ", "2.5 inch ",
                                        "1.8 inch ", "< 1.8 inch "};
    const unsigned f = word168 & 0x0F;
    return f < std::size(texts) ? QString::fromLatin1(texts[f]) : QString();
}

QString speedText(int index)
{
    static const char *const texts[] = {"", "1.5", "3.0", "6.0"};
    return index >= 0 && index < 4 ? QString::fromLatin1(texts[index]) : QString();
}

QString transportType(Bytes id)
{
    const unsigned w222 = word(id, 222);
    if (w222 == 0x0000 || w222 == 0xFFFF)
        return {};
    switch (w222 >> 12) {
    case 0x0:
        switch (w222 & 0x0FFF) {
        case 0: return QStringLiteral("ATA8-APT");
        case 1: return QStringLiteral("ATA/ATAPI-7");
        default: return QStringLiteral("unknown");
        }
    case 0xE:
        return QStringLiteral("PCIe (0x%1)").arg(w222, 3, 16, QLatin1Char('0'));
    case 0x1: {
        static const char *const versions[] = {"ATA8-AST", "SATA 1.0a", "SATA II Ext",
                                               "SATA 2.5", "SATA 2.6", "SATA 3.0",
                                               "SATA 3.1", "SATA 3.2"};
        const int v = highestBit(w222, 11);
        const QString version = v < 0 ? QStringLiteral("Unknown")
            : v > 7                   ? QStringLiteral("SATA > 3.2")
                                      : QString::fromLatin1(versions[v]);
        unsigned w76 = word(id, 76);
        if (w76 == 0x0000 || w76 == 0xFFFF)
            w76 = 1;
        const int maxBit = highestBit(w76, 7);
        const QString maximum = maxBit >= 4 ? QStringLiteral("6.0+") : speedText(maxBit);
        const QString current = speedText(int((word(id, 77) >> 1) & 0x7));
        if (current.isEmpty())
            return QStringLiteral("%1, %2 Gb/s").arg(version, maximum);
        return QStringLiteral("%1, %2 Gb/s (current %3 Gb/s)").arg(version, maximum, current);
    }
    default:
        return QStringLiteral("unknown");
    }
}

QString hexWords(Bytes id, int first)
{
    static const char digits[] = "0123456789abcdef";
    QString s(16, Qt::Uninitialized);
    QChar *out = s.data();
    for (int w = first; w < first + 4; ++w) {
        const unsigned v = word(id, size_t(w));
        for (int shift = 12; shift >= 0; shift -= 4)
            *out++ = QLatin1Char(digits[(v >> shift) & 0xF]);
    }
    return s;
}

QString worldWideName(Bytes id)
{
    if (!word(id, 108) && !word(id, 109) && !word(id, 110) && !word(id, 111))
        return {};
    QString wwn = hexWords(id, 108);
    wwn.insert(1, QLatin1Char(' '));
    switch (word(id, 108) >> 12) {
    case 1: case 2:
        wwn.insert(5, QLatin1Char(' '));
        wwn.insert(12, QLatin1Char(' '));
        break;
    case 5:
        wwn.insert(8, QLatin1Char(' '));
        break;
    case 6:
        wwn.insert(8, QLatin1Char(' '));
        wwn += QLatin1Char(' ') + hexWords(id, 112);
        break;
    default:
        break;
    }
    return wwn;
}

} // namespace

QString stringFromCStringSwapped(Bytes field)
{
    QByteArray raw(reinterpret_cast<const char *>(field.data()), qsizetype(field.size()));
    for (qsizetype i = 0; i + 1 < raw.size(); i += 2)
        std::swap(raw[i], raw[i + 1]);
    // Cut before decoding: bytes after the terminator are not text, and garbage
    // there must not turn a good model name into nothing.
    const qsizetype nul = raw.indexOf('\0');
    if (nul >= 0)
        raw.truncate(nul);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(raw);
    if (decoder.hasError())
        text = QStringLiteral(" ");
    return text.trimmed();
}

QString binaryString(uint64_t value, int bits)
{
    bits = std::clamp(bits, 0, 32);
    QString s;
    s.reserve(bits);
    for (int bit = bits - 1; bit >= 0; --bit)
        s += (value >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

QString pollingTimeText(unsigned minutes)
{
    if (minutes < 1)
        return QStringLiteral("N/A");
    const unsigned h = minutes / 60, r = minutes % 60;
    QString text;
    if (h)
        text.append(u"  ").append(QString::number(h)).append(h == 1 ? u" hour" : u" hours");
    if (h && r)
        text.append(u", ");
    if (r)
        text.append(QString::number(r)).append(r == 1 ? u" minute" : u" minutes");
    return text;
}

bool identifyPageValid(Bytes id)
{
    if (id.size() != 512)
        return false;
    if (u8(id, 510) == 0xA5)
        return ataChecksumValid(id);
    const auto all = [&](uint8_t v) { return std::all_of(id.begin(), id.end(), [v](uint8_t b) { return b == v; }); };
    return !all(0x00) && !all(0xFF);
}

QVariantMap identifyDevice(Bytes id)
{
    // 0x0000 and 0xFFFF are how a drive says it does not report word 80.
    const unsigned w80 = word(id, 80);
    QString ataVersion = w80 == 0 || w80 == 0xFFFF ? QStringLiteral("not reported")
                                                   : ata::ataVersionMajor(highestBit(w80, 10), word(id, 81));

    uint32_t logical = 512, physical = 512, offset = 0;
    const unsigned w106 = word(id, 106);
    if ((w106 & 0xC000) == 0x4000) {
        // Words 117-118 count 16-bit words; a bogus count must not wrap to a tiny size.
        if (w106 & 0x1000)
            logical = uint32_t(std::min<uint64_t>(uint64_t(le32(id, 117 * 2)) * 2, UINT32_MAX));
        physical = w106 & 0x2000 ? uint32_t(std::min<uint64_t>(uint64_t(logical) << (w106 & 0xF), UINT32_MAX))
                                 : 512;
        const unsigned w209 = word(id, 209);
        if ((w209 & 0xC000) == 0x4000)
            offset = uint32_t(std::min<uint64_t>(uint64_t(w209 & 0x3FFF) * logical, UINT32_MAX));
    }

    const uint64_t lba28 = le32(id, 60 * 2);
    const uint64_t lba48 = (word(id, 83) & 0xC400) == 0x4400 ? le64(id, 100 * 2) : 0;
    uint64_t sectors = lba28;
    if (lba48 >= lba28 || (logical > 512 && lba48 != 0))
        sectors = lba48;

    const unsigned w206 = word(id, 206);
    const unsigned w84 = word(id, 84);
    // The keys every drive has; the few that depend on the drive follow.
    static const RecordShape shape;
    QVariantMap d = shape.make({
        {"ataVersion", std::move(ataVersion)},
        {"Transport Type", transportType(id).left(63)},
        {"logicalSectorOffset", offset},
        {"logicalSectorSize", logical},
        {"physicalSectorSize", physical},
        {"sectorSizeStr", QStringLiteral("%1 bytes logical, %2 bytes physical").arg(logical).arg(physical)},
        {"sectors", quint64(sectors)},
        {"WWN", worldWideName(id)},
        {"SCT Status", bool(w206 & 0x01)},
        {"SCT Error Recovery Control", bool(w206 & 0x08)},
        {"SCT Feature Control", bool(w206 & 0x10)},
        {"SCT Data Table", bool(w206 & 0x20)},
        {"General Purpose Logging", (w84 & 0xC020) == 0x4020 ? 1 : 0},
        {"Error Logging", (w84 & 0xC001) == 0x4001 ? 1 : 0},
    });

    const auto text = [&](const QString &key, size_t offset, size_t length) {
        QString s = stringFromCStringSwapped(slice(id, offset, length));
        if (s.size() >= 2)
            d.insert(key, std::move(s));
    };
    text(QStringLiteral("Device Model"), 27 * 2, 40);
    text(QStringLiteral("Serial Number"), 10 * 2, 20);
    text(QStringLiteral("Firmware Version"), 23 * 2, 8);

    const unsigned rotation = word(id, 217);
    QString kind;
    if (rotation == 1)
        kind = QStringLiteral("SSD");
    else if (rotation >= 0x0401 && rotation <= 0xFFFE)
        kind = QStringLiteral("HDD %1 rpm").arg(rotation);
    if (!kind.isEmpty())
        d.insert(QStringLiteral("Drive Type"), formFactorText(word(id, 168)) + kind);
    return d;
}

QVariantMap capabilities(Bytes sd, const QVariantMap &driveProperties)
{
    const unsigned offline = u8(sd, 362);
    QString offlineText;
    switch (offline & 0x7F) {
    case 0x00: offlineText = QStringLiteral("Never Started"); break;
    case 0x02: offlineText = QStringLiteral("Completed"); break;
    case 0x03: offlineText = QStringLiteral("In Progress"); break;
    case 0x04: offlineText = QStringLiteral("Suspended by Host"); break;
    case 0x05: offlineText = QStringLiteral("Aborted by Host"); break;
    case 0x06: offlineText = QStringLiteral("Aborted by Device"); break;
    default: offlineText = QStringLiteral("Reserved"); break;
    }

    const unsigned caps = u8(sd, 367);
    const unsigned smartCaps = le16(sd, 368);
    const bool executeOffline = caps & 0x01, autoOffline = caps & 0x02, abortOffline = caps & 0x04,
               surfaceScan = caps & 0x08, selfTest = caps & 0x10, conveyance = caps & 0x20,
               selective = caps & 0x40, autoOfflineEnabled = offline & 0x80, savesData = smartCaps & 0x1,
               autosave = smartCaps & 0x2;

    const unsigned collectionTime = le16(sd, 364);
    const unsigned status = u8(sd, smartdata::kSelfTestStatus);
    const unsigned percent = (100u - 10u * (status & 0x0F)) & 0xFF;
    const unsigned shortPoll = selfTestPollingMinutes(sd, false);
    const unsigned extendedPoll = selfTestPollingMinutes(sd, true);

    static const char *const capArrayNames[16] = {
        "Auto Offline Data Collection", "Auto Offline Data Collection Enabled",
        "Saves Data Before Power-Saving Mode", "Autosave",
        "SMART Execute Offline Immediate", "Abort Offline Collection Upon Command",
        "Self-Test", "Conveyance Self-Test",
        "Selective Self-Test", "Offline Surface Scan Support",
        "General Purpose Logging", "Error Logging",
        "SCT Status", "SCT Error Recovery Control",
        "SCT Feature Control", "SCT Data Table",
    };
    static const QString check = QString(QChar(0x2714));
    static const std::array<QString, 16> capArrayKeys = [] {
        std::array<QString, 16> keys;
        for (size_t i = 0; i < keys.size(); ++i)
            keys[i] = QLatin1String(capArrayNames[i]);
        return keys;
    }();
    // The last six are IDENTIFY's logging and SCT flags.
    const auto drive = [&](size_t key) { return driveProperties.value(capArrayKeys[key]).toBool(); };
    const bool capArrayOn[16] = {
        autoOffline, autoOfflineEnabled, savesData, autosave, executeOffline, abortOffline,
        selfTest, conveyance, selective, surfaceScan,
        drive(10), drive(11), drive(12), drive(13), drive(14), drive(15),
    };
    QVariantList capArray;
    capArray.reserve(8);
    for (size_t row = 0; row < 8; ++row) {
        static const RecordShape shape;
        capArray.append(shape.make({
            {"key0", capArrayKeys[2 * row]},
            {"key1", capArrayKeys[2 * row + 1]},
            {"val0", capArrayOn[2 * row] ? check : QString()},
            {"val1", capArrayOn[2 * row + 1] ? check : QString()},
        }));
    }

    static const RecordShape selftest;
    QVariantList selftests{
        selftest.make({{"name", QStringLiteral("Short")},
                       {"displayName", QStringLiteral("Short offline")},
                       {"pollingTime", shortPoll},
                       {"timeToComplete", pollingTimeText(shortPoll)}}),
        selftest.make({{"name", QStringLiteral("Extended")},
                       {"displayName", QStringLiteral("Extended offline")},
                       {"pollingTime", extendedPoll},
                       {"timeToComplete", pollingTimeText(extendedPoll)}}),
    };

    static const RecordShape shape;
    return shape.make({
        {"Offline data collection status", offlineText},
        {"SMART Execute Offline Immediate", executeOffline},
        {"Auto Offline Data Collection", autoOffline},
        {"Abort Offline Collection Upon Command", abortOffline},
        {"Offline Surface Scan Support", surfaceScan},
        {"Self-Test", selfTest},
        {"Conveyance Self-Test", conveyance},
        {"Selective Self-Test", selective},
        {"Auto Offline Data Collection Enabled", autoOfflineEnabled},
        {"Saves Data Before Power-Saving Mode", savesData},
        {"Autosave", autosave},
        {"Offline data collection time", collectionTime ? QVariant(uint(collectionTime)) : QVariant(QString())},
        {"Self-test status", selfTest ? selfTestStatusLine(uint8_t(status)) : QStringLiteral("Never Run")},
        {"Self-test progress", percent},
        {"Extended self-test polling time", extendedPoll},
        {"Short self-test polling time", shortPoll},
        {"Conveyance self-test polling time", uint(u8(sd, 374))},
        {"capArray", std::move(capArray)},
        {"selftests", std::move(selftests)},
        {"isEnabledSelftest", selfTest ? 1 : 0},
    });
}

} // namespace corvane
