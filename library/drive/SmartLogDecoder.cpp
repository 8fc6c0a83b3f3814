// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/SmartLogDecoder.h"

#include "drive/AtaPages.h"
#include "drive/AtaTables.h"
#include "drive/RecordShape.h"

#include <QVariantList>

#include <algorithm>
#include <map>
#include <numeric>
#include <vector>

namespace corvane {

namespace {

const char *logName(unsigned address)
{
    switch (address) {
    case 1: return "Summary SMART Error";
    case 2: return "Comprehensive SMART Error";
    case 3: return "Extended Comprehensive SMART Error";
    case 4: return "Device Statistics";
    case 6: return "SMART Self-Test";
    case 7: return "SMART Extended Self-Test";
    case 9: return "Selective Self-Tests";
    case 16: return "NCQ Command Error";
    case 17: return "SATA Phy Event Counters";
    case 33: return "Write Stream Error";
    case 34: return "Read Stream Error";
    case 224: return "SCT Command/Status";
    case 225: return "SCT Data Transfer";
    default: return nullptr;
    }
}

QString hexByte(unsigned value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

// 28-bit LBA of a command or error-data structure: bytes at `lba` hold bits 23:0,
// the device byte bits 27:24.
uint32_t lba28(Bytes b, size_t lba, size_t device)
{
    return uint32_t(u8(b, lba)) | uint32_t(u8(b, lba + 1)) << 8 | uint32_t(u8(b, lba + 2)) << 16
        | uint32_t(u8(b, device) & 0x0F) << 24;
}

constexpr size_t kErrorStructSize = 90;
constexpr size_t kCommandSize = 12;
constexpr size_t kErrorDataOffset = 60;
constexpr size_t kErrorDataSize = 30;
constexpr size_t kSelftestDescriptorSize = 24;
constexpr unsigned kSelftestDescriptors = 21;

QVariantMap commandRecord(Bytes c, int index)
{
    const unsigned cmd = u8(c, 7);
    static const RecordShape shape;
    return shape.make({
        {"command", ata::commandName(int(cmd))},
        {"feature", ata::command(int(cmd), u8(c, 1))},
        {"device", hexByte(u8(c, 6))},
        {"timestamp", msToTime(le32(c, 8))},
        {"index", index},
        {"transport", uint(u8(c, 0))},
        {"count", uint(u8(c, 2))},
        {"lba", lba28(c, 3, 6)},
    });
}

} // namespace

QString msToTime(uint32_t ms)
{
    const uint32_t s = ms / 1000;
    const double seconds = double(s % 60) + double(ms % 1000) / 1000.0;
    // printf's "%02.3f": at least 2 characters wide, 3 decimals ("1.500", "12.250").
    return QStringLiteral("%1:%2:%3:%4")
        .arg(ms / 86400000u, 2, 10, QLatin1Char('0'))
        .arg((s % 86400) / 3600, 2, 10, QLatin1Char('0'))
        .arg((s % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 'f', 3, QLatin1Char('0'));
}

QString selftestTypeText(unsigned type)
{
    switch (type) {
    case 0: return QStringLiteral("Offline");
    case 1: return QStringLiteral("Short offline");
    case 2: return QStringLiteral("Extended offline");
    case 3: return QStringLiteral("Conveyance offline");
    case 4: return QStringLiteral("Selective offline");
    case 127: return QStringLiteral("Abort offline");
    case 129: return QStringLiteral("Short captive");
    case 130: return QStringLiteral("Extended captive");
    case 131: return QStringLiteral("Conveyance captive");
    case 132: return QStringLiteral("Selective captive");
    default:
        return QStringLiteral("Vendor/Reserved-(0x%1)").arg(type & 0xFF, 2, 16, QLatin1Char('0'));
    }
}

QVariantMap smartLogs(Bytes dir)
{
    const unsigned version = le16(dir, 0);
    QVariantList logs;
    QVariantMap logDir;
    // The named logs with their names and address texts, made once, and
    // their order by that text, in which "logDir" is built without searching.
    struct NamedLog
    {
        unsigned address;
        QString name, key;
    };
    static const std::vector<NamedLog> named = [] {
        std::vector<NamedLog> n;
        for (unsigned address = 1; address <= 255; ++address)
            if (const char *name = logName(address))
                n.push_back({address, QString::fromLatin1(name), QString::number(address)});
        return n;
    }();
    static const std::vector<qsizetype> byKey = [] {
        std::vector<qsizetype> order(named.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [](qsizetype a, qsizetype b) { return named[size_t(a)].key < named[size_t(b)].key; });
        return order;
    }();
    if (version == 1) {
        logs.reserve(qsizetype(named.size()));
        for (const NamedLog &log : named) {
            static const RecordShape shape;
            logs.append(shape.make({
                {"logAddress", log.address},
                {"pages", uint(word(dir, log.address))},
                {"name", log.name},
            }));
        }
        std::map<QString, QVariant> byAddress;
        for (const qsizetype i : byKey)
            byAddress.emplace_hint(byAddress.end(), named[size_t(i)].key, logs.at(i));
        logDir = QVariantMap(std::move(byAddress));
    }
    const int enabled = logs.isEmpty() ? 0 : 1;
    static const RecordShape summary;
    return summary.make({
        {"logDirVersion", version},
        {"isEnabledLogDir", enabled},
        {"logs", std::move(logs)},
        {"logDir", std::move(logDir)},
    });
}

QVariantMap errorLog(Bytes page)
{
    if (u8(page, 0) != 1)
        return {};
    QVariantList errors;
    for (size_t i = 0; i < 5; ++i) {
        const size_t base = 2 + i * kErrorStructSize;
        const size_t data = base + kErrorDataOffset;
        bool empty = true;
        for (size_t b = 0; b < kErrorDataSize && empty; ++b)
            empty = u8(page, data + b) == 0;
        if (empty)
            continue;

        QVariantList commands;
        for (size_t c = 0; c < 5; ++c) {
            // Copy out so a short page reads as zeros instead of a clipped slice.
            uint8_t raw[kCommandSize];
            for (size_t b = 0; b < kCommandSize; ++b)
                raw[b] = u8(page, base + c * kCommandSize + b);
            commands.append(commandRecord(Bytes(raw), int(c)));
        }
        const QVariantMap failed = commands.last().toMap();
        static const RecordShape shape;
        errors.append(shape.make({
            {"command", failed.value(QStringLiteral("command"))},
            {"feature", failed.value(QStringLiteral("feature"))},
            {"cmnds", commands},
            {"error", ata::error(u8(page, data + 1))},
            {"state", ata::state(u8(page, data + 27))},
            {"device", hexByte(u8(page, data + 6))},
            {"status", hexByte(u8(page, data + 7))},
            {"count", uint(u8(page, data + 2))},
            {"lba", lba28(page, data + 3, data + 6)},
            {"timestamp", uint(le16(page, data + 28))},
            {"index", int(i + 1)},
        }));
    }
    const unsigned count = le16(page, 452);
    const int enabled = errors.isEmpty() ? 0 : 1;
    static const QString normal = QString::fromLatin1(kControlTextColor);
    static const QString failure = QString::fromLatin1(kFailureColor);
    static const RecordShape summary;
    return summary.make({
        {"errorLog", std::move(errors)},
        {"isEnabledErrorLog", enabled},
        {"errorLogVersion", uint(u8(page, 0))},
        {"errorLogIndex", uint(u8(page, 1))},
        {"lifetimeErrors", count},
        {"lifetimeErrorsColor", count ? failure : normal},
    });
}

QVariantMap selftestLog(Bytes page)
{
    const unsigned revision = le16(page, 0);
    const unsigned index = u8(page, 508);
    QVariantList results;
    if (revision == 1 && index != 0) {
        // Most recent first, wrapping from descriptor 1 to 21; an index above 21
        // (firmware garbage) wraps the same way instead of leaving the page.
        const unsigned first = (index - 1) % kSelftestDescriptors; // zero-based
        for (unsigned pos = 0; pos < kSelftestDescriptors; ++pos) {
            const unsigned n = (first + kSelftestDescriptors - pos) % kSelftestDescriptors;
            const size_t d = 2 + n * kSelftestDescriptorSize;
            const unsigned type = u8(page, d), status = u8(page, d + 1);
            const unsigned hours = le16(page, d + 2), checkpoint = u8(page, d + 4);
            const uint32_t lba = le32(page, d + 5);
            if (!type && !status && !hours && !checkpoint && !lba)
                continue;
            const unsigned nibble = status >> 4;
            static const RecordShape shape;
            results.append(shape.make({
                {"Num", int(pos + 1)},
                {"Type", selftestTypeText(type)},
                {"Status", selfTestStatusLine(uint8_t(status), SelfTestTexts::Log)},
                {"LifetimeHours", hours},
                {"LBAFirstError", nibble >= 3 && nibble <= 8 ? QVariant(quint64(lba)) : QVariant(QString())},
            }));
        }
    }
    const int enabled = results.isEmpty() ? 0 : 1;
    static const RecordShape summary;
    return summary.make({
        {"isEnabledSelftestResults", enabled},
        {"selftestResults", std::move(results)},
        {"selftestLogStructRev", revision},
    });
}

} // namespace corvane
