// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recorded/RecordedNvme.h"

#include "platform/DeviceStatus.h"
#include "platform/recorded/RecordedPages.h"

#include "drive/Bytes.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace corvane {

// One drive's scripted self-test.
struct RecordedNvmeSelfTest
{
    uint8_t running = 0; // the code of the running test, 0 for none
    int reads = 0;       // reads of the log since the start
    std::optional<std::array<uint8_t, kNvmeSelfTestLogSize>> log;
};

namespace {
// What a controller answers for a log page it doesn't keep: Invalid Field in
// Command with Do Not Retry.
const int32_t kInvalidField = statusFromNvme(0x4002);
// Device Self-test while one runs: Device Self-test in Progress (SCT 1, SC 1Dh).
const int32_t kSelfTestInProgress = statusFromNvme(0x011D);

using SelfTestPage = std::array<uint8_t, kNvmeSelfTestLogSize>;
constexpr size_t kResultOffset = 4;
constexpr size_t kResultSize = 28;
constexpr uint8_t kResultPassed = 0x0;
constexpr uint8_t kResultAborted = 0x1;

QMutex gMutex;
QHash<QString, RecordedNvmeSelfTest> gSimulations;

RecordedNvmeSelfTest &simulationFor(const QString &dir)
{
    return gSimulations[QFileInfo(dir).absoluteFilePath()];
}

// The newest result goes first; the oldest of the 20 falls off.
void finish(RecordedNvmeSelfTest &s, uint8_t result, uint64_t powerOnHours)
{
    SelfTestPage &log = *s.log;
    std::copy_backward(log.begin() + kResultOffset, log.end() - kResultSize, log.end());
    std::fill_n(log.begin() + kResultOffset, kResultSize, uint8_t(0));
    log[kResultOffset] = uint8_t(s.running << 4 | result);
    for (size_t k = 0; k < 8; ++k)
        log[kResultOffset + 4 + k] = uint8_t(powerOnHours >> (8 * k));
    log[0] = 0;
    log[1] = 0;
    s.running = 0;
    s.reads = 0;
}
} // namespace

RecordedNvme::RecordedNvme(const QString &driveDir) : m_dir(driveDir) {}

int32_t RecordedNvme::readFile(const QString &name, std::span<uint8_t> buffer) const
{
    if (const int32_t status = recorded::driveStatus(m_dir))
        return status;
    return recorded::readPage(QDir(m_dir).filePath(name), buffer, kInvalidField);
}

int32_t RecordedNvme::identifyController(std::span<uint8_t> buffer)
{
    if (buffer.size() < kNvmeIdentifySize)
        return kStatusBadArgument;
    const int32_t status = readFile(QStringLiteral("nvme-id-ctrl.bin"), buffer.first(kNvmeIdentifySize));
    if (status == kStatusSuccess)
        m_version = nvmeVersionFromIdentify(buffer);
    return status;
}

int32_t RecordedNvme::getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords)
{
    if (dwords == 0 || size_t(dwords) * 4 > buffer.size())
        return kStatusBadArgument;
    const std::span<uint8_t> wanted = buffer.first(size_t(dwords) * 4);
    switch (logId) {
    case nvme::kLogError:
        return readFile(QStringLiteral("nvme-log01-error.bin"), wanted);
    case nvme::kLogSmartHealth:
        return readFile(QStringLiteral("nvme-log02-smart.bin"), wanted);
    case nvme::kLogFirmwareSlot:
        return readFile(QStringLiteral("nvme-log03-fwslot.bin"), wanted);
    case nvme::kLogSelfTest: {
        SelfTestPage page{};
        if (const int32_t status = readSelfTestLog(page))
            return status;
        std::copy_n(page.begin(), std::min(wanted.size(), page.size()), wanted.begin());
        if (wanted.size() > page.size())
            return kStatusShortTransfer;
        return kStatusSuccess;
    }
    default:
        if (const int32_t status = recorded::driveStatus(m_dir))
            return status;
        return kInvalidField;
    }
}

int32_t RecordedNvme::loadSelfTestLog(RecordedNvmeSelfTest &s) const
{
    if (s.log)
        return recorded::driveStatus(m_dir);
    SelfTestPage page{};
    if (const int32_t status = readFile(QStringLiteral("nvme-log06-selftest.bin"), page))
        return status;
    s.log = page;
    return kStatusSuccess;
}

uint64_t RecordedNvme::powerOnHours() const
{
    std::array<uint8_t, kNvmeLogPageSize> health{};
    return readFile(QStringLiteral("nvme-log02-smart.bin"), health) == kStatusSuccess ? le64(health, 128) : 0;
}

int32_t RecordedNvme::readSelfTestLog(std::span<uint8_t> buffer) const
{
    QMutexLocker lock(&gMutex);
    RecordedNvmeSelfTest &s = simulationFor(m_dir);
    if (const int32_t status = loadSelfTestLog(s))
        return status;
    if (s.running) {
        ++s.reads;
        if (s.reads >= 3) {
            finish(s, kResultPassed, powerOnHours());
        } else {
            (*s.log)[0] = s.running;
            (*s.log)[1] = s.reads == 1 ? 0 : 50;
        }
    }
    std::copy(s.log->begin(), s.log->end(), buffer.begin());
    return kStatusSuccess;
}

int32_t RecordedNvme::deviceSelfTest(uint8_t code, uint32_t)
{
    QMutexLocker lock(&gMutex);
    RecordedNvmeSelfTest &s = simulationFor(m_dir);
    // Only a drive with a recorded self-test log has the command.
    if (const int32_t status = loadSelfTestLog(s))
        return isNoDeviceStatus(status) || errnoOfStatus(status) ? status : nvmeInvalidOpcodeStatus();
    switch (code) {
    case nvme::kSelfTestShort:
    case nvme::kSelfTestExtended:
        if (s.running)
            return kSelfTestInProgress;
        s.running = code;
        s.reads = 0;
        return kStatusSuccess;
    case nvme::kSelfTestAbort:
        if (s.running)
            finish(s, kResultAborted, powerOnHours());
        return kStatusSuccess;
    default:
        return kInvalidField;
    }
}

void RecordedNvme::resetSimulations()
{
    QMutexLocker lock(&gMutex);
    gSimulations.clear();
}

NvmeOpener recordedNvmeOpener(const QString &setDir)
{
    return [setDir](const QString &bsdName, int32_t &status) -> std::unique_ptr<NvmeInterface> {
        const QString dir = recorded::driveDir(setDir, bsdName);
        status = dir.isEmpty() ? kStatusNoDevice : recorded::driveStatus(dir);
        if (status)
            return nullptr;
        return std::make_unique<RecordedNvme>(dir);
    };
}

} // namespace corvane
