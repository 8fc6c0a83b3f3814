// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/AtaPages.h"

#include "drive/Attributes.h"
#include "drive/IdentifyDecoder.h"
#include "drive/SmartLogDecoder.h"

#include <map>

namespace corvane {

Page &AtaPages::page(Kind kind)
{
    return const_cast<Page &>(std::as_const(*this).page(kind));
}

const Page &AtaPages::page(Kind kind) const
{
    switch (kind) {
    case Identity: return identity;
    case SmartData: return smartData;
    case Thresholds: return smartThresh;
    case LogDirectory: return logDirectory;
    case ErrorLog: return errorLog;
    case SelfTestLog:
    case KindCount: break;
    }
    return testLog;
}

QString ataPageFileName(AtaPages::Kind kind)
{
    return QString::fromLatin1(kAtaPageFiles[size_t(kind)].fileName);
}

namespace {

uint8_t byteSum(Bytes bytes)
{
    uint8_t sum = 0;
    for (const uint8_t b : bytes)
        sum = uint8_t(sum + b);
    return sum;
}

// Both maps are sorted, so one walk along `into` finds the place of every key
// of `values` (later writers win). The nodes of `values` move over instead of
// being copied: a new node and a copy of its key and value for each of some
// two hundred properties cost more than the walk.
void merge(QVariantMap &into, QVariantMap values)
{
    if (into.isEmpty()) {
        into = std::move(values);
        return;
    }
    std::map<QString, QVariant> to = std::move(into).toStdMap();
    std::map<QString, QVariant> from = std::move(values).toStdMap();
    auto at = to.begin();
    while (!from.empty()) {
        const auto it = from.begin();
        while (at != to.end() && at->first < it->first)
            ++at;
        if (at != to.end() && !(it->first < at->first)) {
            (at++)->second = std::move(it->second);
            from.erase(it);
        } else {
            to.insert(at, from.extract(it));
        }
    }
    into = QVariantMap(std::move(to));
}

QString text(const QVariantMap &map, const QString &key) { return map.value(key).toString(); }

} // namespace

bool ataChecksumValid(Bytes page)
{
    return page.size() >= kAtaPageBytes && byteSum(page.first(kAtaPageBytes)) == 0;
}

void ataFixChecksum(std::span<uint8_t> page)
{
    if (page.size() >= kAtaPageBytes)
        page[kAtaPageBytes - 1] = uint8_t(0x100 - byteSum(page.first(kAtaPageBytes - 1)));
}

bool smartDataValid(Bytes smartData)
{
    // Real drives report revisions far above 99 (0x80 and more). Only 0 and
    // all ones mark a page nobody filled in; an all-0xFF page even has a valid
    // checksum, as a bridge with no drive behind it returns.
    const unsigned revision = le16(smartData, smartdata::kRevision);
    return revision != 0 && revision != 0xFFFF && ataChecksumValid(smartData);
}

QString selfTestStatusText(unsigned nibble, SelfTestTexts texts)
{
    // The drive's status and the log's entries name the same nine outcomes in
    // different words.
    static const char *const execution[] = {
        "Pass", "Aborted", "Interrupted By Reset", "Fatal or Unknown Error", "Unknown Failure",
        "Electrical Failure", "Servo/Seek Failure", "Read Failure", "Handling Damage",
    };
    static const char *const log[] = {
        "Completed without error", "Aborted by host", "Interrupted (host reset)", "Fatal Error",
        "Unknown Failure", "Electrical Failure", "Servo/Seek Failure", "Read Failure", "Handling Damage",
    };
    static_assert(std::size(execution) == std::size(log));
    if (nibble < std::size(execution))
        return QString::fromLatin1(texts == SelfTestTexts::Log ? log[nibble] : execution[nibble]);
    return nibble == smartdata::kStatusInProgress ? QStringLiteral("Test In Progress") : QStringLiteral("Unknown");
}

QString selfTestStatusLine(uint8_t status, SelfTestTexts texts)
{
    // A log page repeats these in up to 21 entries per drive and decode: each
    // of the 2 x 256 texts is made once and then shared.
    using Table = std::array<QString, 256>;
    static const std::array<Table, 2> lines = [] {
        std::array<Table, 2> t;
        for (const SelfTestTexts kind : {SelfTestTexts::Execution, SelfTestTexts::Log})
            for (unsigned s = 0; s < 256; ++s)
                t[size_t(kind)][s] = selfTestStatusText(s >> 4, kind) + u' '
                    + QString::number((100u - 10u * (s & 0x0F)) & 0xFF) + u'%';
        return t;
    }();
    return lines[size_t(texts)][status];
}

unsigned selfTestPollingMinutes(Bytes smartData, bool extended)
{
    if (!extended)
        return u8(smartData, smartdata::kShortPollingMinutes);
    const unsigned minutes = u8(smartData, smartdata::kExtendedPollingMinutes);
    return minutes == 255 ? le16(smartData, smartdata::kExtendedPollingWord) : minutes;
}

QVariantMap decodeAtaDrive(const AtaPages &pages, const QVariantMap &settings, const DriveDatabase &db,
                           const QVariantMap &ignore, bool exceeded)
{
    QVariantMap p = settings;
    if (pages.has(AtaPages::Identity) && identifyPageValid(pages.identity))
        merge(p, identifyDevice(pages.identity));
    if (pages.has(AtaPages::SmartData)) {
        if (smartDataValid(pages.smartData)) {
            // After IDENTIFY: the capability table reads its logging and SCT flags.
            merge(p, capabilities(pages.smartData, p));
            static const QString modelKey = QStringLiteral("Device Model");
            static const QString firmwareKey = QStringLiteral("Firmware Version");
            const QString model = text(settings, modelKey);
            const QString firmware = text(settings, firmwareKey);
            merge(p, attributesModel(db, pages.smartData, pages.smartThresh,
                                     model.isEmpty() ? text(p, modelKey) : model,
                                     firmware.isEmpty() && model.isEmpty() ? text(p, firmwareKey) : firmware,
                                     ignore, exceeded));
        } else {
            merge(p, capabilities(Page{}, p));
            merge(p, {{QStringLiteral("attributeHealth"), QStringLiteral("-")}, {QStringLiteral("health"), QStringLiteral("-")}});
        }
    }
    if (pages.has(AtaPages::LogDirectory))
        merge(p, smartLogs(pages.logDirectory));
    if (pages.has(AtaPages::ErrorLog))
        merge(p, errorLog(pages.errorLog));
    if (pages.has(AtaPages::SelfTestLog))
        merge(p, selftestLog(pages.testLog));
    return p;
}

} // namespace corvane
