// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recorded/RecordedAtaSmart.h"

#include "drive/Bytes.h"
#include "platform/AtaPassThrough.h"
#include "platform/DeviceStatus.h"
#include "platform/recorded/RecordedPages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <array>
#include <chrono>
#include <memory>
#include <optional>

namespace corvane {

namespace {

using SmartPage = std::array<uint8_t, kAtaPageSize>;

constexpr size_t kSelfTestStatusOffset = smartdata::kSelfTestStatus;
constexpr size_t kOffLineCapabilityOffset = 367;
constexpr uint8_t kSelfTestSupported = 0x10;
constexpr uint8_t kPassed = 0x00;
constexpr uint8_t kReadFailure = 0x73; // read element failed with 30 % left
constexpr uint8_t kAbortedByHost = 0x10;
constexpr size_t kSelfTestEntries = 21;
constexpr size_t kSelfTestEntrySize = 24;
constexpr size_t kSelfTestIndexOffset = 508;

// What a drive answers to a command it doesn't support: ABRT in the error
// register, ERR with DRDY and DSC in the status.
const int32_t kAborted = statusFromAtaRegisters(0x51, 0x04);

struct Simulation
{
    bool running = false;
    bool extended = false;
    int64_t start = 0;
    uint8_t finalStatus = kPassed;
    std::optional<uint8_t> lastStatus;       // once a test has ended
    std::optional<SmartPage> testLog;             // the self-test log with the new entries
};

QMutex gMutex;
QHash<QString, std::shared_ptr<Simulation>> gSimulations;

std::shared_ptr<Simulation> simulationFor(const QString &dir)
{
    const QString key = QFileInfo(dir).absoluteFilePath();
    std::shared_ptr<Simulation> &s = gSimulations[key];
    if (!s)
        s = std::make_shared<Simulation>();
    return s;
}

int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Changes one byte of a checksummed page and moves the checksum by the same
// amount, so a page that validated still does and one that didn't still doesn't.
void patchByte(std::span<uint8_t> page, size_t offset, uint8_t value)
{
    const uint8_t old = page[offset];
    page[offset] = value;
    page[kAtaPageSize - 1] = uint8_t(page[kAtaPageSize - 1] + old - value);
}

uint16_t powerOnHours(Bytes smart)
{
    for (size_t i = 0; i < 30; ++i) {
        const size_t entry = 2 + 12 * i;
        if (u8(smart, entry) == 9)
            return le16(smart, entry + 5);
    }
    return 0;
}

int64_t durationOf(const Simulation &s)
{
    return s.extended ? RecordedAtaSmart::kExtendedTestMs : RecordedAtaSmart::kShortTestMs;
}

// The entry after the newest in the ring of 21, as a drive logs a finished test.
void appendSelfTestEntry(SmartPage &log, const Simulation &s, uint16_t hours)
{
    const uint8_t index = uint8_t(log[kSelfTestIndexOffset] % kSelfTestEntries + 1);
    const size_t entry = 2 + (index - 1) * kSelfTestEntrySize;
    std::fill_n(log.begin() + entry, kSelfTestEntrySize, uint8_t(0));
    log[entry] = s.extended ? ata::kExtendedSelfTestOffLine : ata::kShortSelfTestOffLine;
    log[entry + 1] = s.finalStatus;
    log[entry + 2] = uint8_t(hours);
    log[entry + 3] = uint8_t(hours >> 8);
    if (s.finalStatus == kReadFailure) {
        const uint32_t lba = 0x0012D687; // first failing sector, made up
        for (int k = 0; k < 4; ++k)
            log[entry + 5 + k] = uint8_t(lba >> (8 * k));
    }
    log[kSelfTestIndexOffset] = index;
    ataFixChecksum(log);
}

} // namespace

RecordedAtaSmart::RecordedAtaSmart(const QString &driveDir, Clock clock)
    : m_dir(driveDir), m_clock(clock ? std::move(clock) : Clock(steadyMs))
{
}

int32_t RecordedAtaSmart::openStatus(const QString &driveDir)
{
    return recorded::driveStatus(driveDir);
}

void RecordedAtaSmart::resetSimulations()
{
    QMutexLocker lock(&gMutex);
    gSimulations.clear();
}

int32_t RecordedAtaSmart::readFile(const QString &name, std::span<uint8_t> buffer) const
{
    if (const int32_t status = recorded::driveStatus(m_dir))
        return status;
    return recorded::readPage(QDir(m_dir).filePath(name), buffer, kAborted);
}

QString RecordedAtaSmart::logFileName(uint8_t address) const
{
    for (const AtaPageFile &page : kAtaPageFiles) {
        if (page.logAddress == int(address))
            return QString::fromLatin1(page.fileName);
    }
    // Logs outside the session's three keep their address in the name.
    const QString pattern = QStringLiteral("smartlog-%1-*.bin").arg(address, 2, 16, QLatin1Char('0'));
    const QStringList found = QDir(m_dir).entryList({pattern}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QStringLiteral("smartlog-%1-missing.bin").arg(address, 2, 16, QLatin1Char('0'))
                           : found.first();
}

int32_t RecordedAtaSmart::enableDisableOperations(bool)
{
    return recorded::driveStatus(m_dir);
}

int32_t RecordedAtaSmart::returnStatus(bool &thresholdExceeded)
{
    QFile file(QDir(m_dir).filePath(QLatin1String(kAtaStatusFileName)));
    if (const int32_t status = recorded::driveStatus(m_dir))
        return status;
    if (!file.open(QIODevice::ReadOnly))
        return kStatusNoAtaRegisters;
    const QByteArray line = file.read(16).trimmed();
    if (line.startsWith('1')) {
        thresholdExceeded = false;
        return kStatusSuccess;
    }
    if (line.startsWith('0')) {
        thresholdExceeded = true;
        return kStatusSuccess;
    }
    return kStatusUnexpectedAnswer;
}

int32_t RecordedAtaSmart::executeOffLineImmediate(bool extendedTest)
{
    SmartPage smart{};
    if (const int32_t status = readFile(ataPageFileName(AtaPages::SmartData), smart))
        return status;
    if (!(smart[kOffLineCapabilityOffset] & kSelfTestSupported))
        return kAborted;
    bool failing = false;
    const bool knowsStatus = returnStatus(failing) == kStatusSuccess;
    QMutexLocker lock(&gMutex);
    const std::shared_ptr<Simulation> s = simulationFor(m_dir);
    // A new test replaces one still running, as drives do.
    s->running = true;
    s->extended = extendedTest;
    s->start = m_clock();
    s->finalStatus = knowsStatus && failing ? kReadFailure : kPassed;
    return kStatusSuccess;
}

int32_t RecordedAtaSmart::abortSelfTest()
{
    SmartPage smart{};
    if (const int32_t status = readFile(QStringLiteral("smart.bin"), smart))
        return status;
    QMutexLocker lock(&gMutex);
    const std::shared_ptr<Simulation> s = simulationFor(m_dir);
    // Like a drive: aborting when nothing runs is accepted and changes nothing.
    if (s->running && m_clock() - s->start < durationOf(*s)) {
        s->finalStatus = kAbortedByHost;
        s->start = m_clock() - durationOf(*s); // ends now; the next read logs it
    }
    return kStatusSuccess;
}

int32_t RecordedAtaSmart::readData(std::span<uint8_t, kAtaPageSize> buffer)
{
    SmartPage smart{};
    if (const int32_t status = readFile(ataPageFileName(AtaPages::SmartData), smart))
        return status;
    {
        QMutexLocker lock(&gMutex);
        const std::shared_ptr<Simulation> s = simulationFor(m_dir);
        const int64_t now = m_clock();
        if (s->running && now - s->start < durationOf(*s)) {
            const int64_t duration = durationOf(*s);
            const int64_t left = std::clamp<int64_t>(duration - (now - s->start), 0, duration);
            const int64_t tenths = std::clamp<int64_t>((left * 10 + duration - 1) / duration, 1, 9);
            patchByte(smart, kSelfTestStatusOffset, uint8_t(0xF0 | tenths));
        } else {
            if (s->running) {
                // The test ended since the last look: record it once.
                s->running = false;
                s->lastStatus = s->finalStatus;
                SmartPage selfTestLog{};
                if (s->testLog) {
                    selfTestLog = *s->testLog;
                } else if (readFile(logFileName(6), selfTestLog) != kStatusSuccess) {
                    selfTestLog.fill(0);
                    selfTestLog[0] = 1; // log structure revision
                }
                appendSelfTestEntry(selfTestLog, *s, powerOnHours(smart));
                s->testLog = selfTestLog;
            }
            if (s->lastStatus)
                patchByte(smart, kSelfTestStatusOffset, *s->lastStatus);
        }
    }
    std::copy(smart.begin(), smart.end(), buffer.begin());
    return kStatusSuccess;
}

int32_t RecordedAtaSmart::validateReadData(std::span<const uint8_t, kAtaPageSize> buffer)
{
    return ataChecksumValid(buffer) ? kStatusSuccess : kStatusBadChecksum;
}

int32_t RecordedAtaSmart::readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer)
{
    return readFile(ataPageFileName(AtaPages::Thresholds), buffer);
}

int32_t RecordedAtaSmart::readLogAtAddress(uint8_t address, std::span<uint8_t> buffer)
{
    if (buffer.size() < kAtaPageSize || buffer.size() % kAtaPageSize)
        return kStatusBadArgument;
    if (address == 6) {
        // A test that ended unobserved still lands in the log.
        SmartPage smart{};
        readData(smart);
        if (const int32_t status = recorded::driveStatus(m_dir))
            return status;
        QMutexLocker lock(&gMutex);
        const std::shared_ptr<Simulation> s = simulationFor(m_dir);
        if (s->testLog && buffer.size() == kAtaPageSize) {
            std::copy(s->testLog->begin(), s->testLog->end(), buffer.begin());
            return kStatusSuccess;
        }
    }
    return readFile(logFileName(address), buffer);
}

int32_t RecordedAtaSmart::getIdentifyData(std::span<uint8_t> buffer)
{
    if (buffer.size() < kAtaPageSize)
        return kStatusBadArgument;
    return readFile(ataPageFileName(AtaPages::Identity), buffer.first(kAtaPageSize));
}

int32_t RecordedAtaSmart::checkPowerMode(uint8_t &count)
{
    if (const int32_t status = recorded::driveStatus(m_dir))
        return status;
    QFile file(QDir(m_dir).filePath(QStringLiteral("power_mode.txt")));
    if (!file.exists()) {
        count = 0xFF;
        return kStatusSuccess;
    }
    if (!file.open(QIODevice::ReadOnly))
        return statusFromErrno(EIO);
    const QByteArray word = file.read(16).trimmed().toLower();
    static const QHash<QByteArray, uint8_t> kWords = {{"active", 0xFF}, {"idle", 0x80}, {"standby", 0x00}};
    if (word == "sleep")
        return statusFromSense(0x2, 0x04, 0x02); // NOT READY, initializing command required
    if (const auto known = kWords.constFind(word); known != kWords.constEnd()) {
        count = *known;
        return kStatusSuccess;
    }
    bool ok = false;
    const uint value = word.toUInt(&ok, 0);
    if (!ok || value > 0xFF)
        return kStatusUnexpectedAnswer;
    count = uint8_t(value);
    return kStatusSuccess;
}

AtaSmartOpener recordedAtaSmartOpener(const QString &setDir, RecordedAtaSmart::Clock clock)
{
    return [setDir, clock](const QString &bsdName, int32_t &status) -> std::unique_ptr<AtaSmartInterface> {
        const QString dir = recorded::driveDir(setDir, bsdName);
        status = dir.isEmpty() ? kStatusNoDevice : RecordedAtaSmart::openStatus(dir);
        if (status)
            return nullptr;
        return std::make_unique<RecordedAtaSmart>(dir, clock);
    };
}

} // namespace corvane
