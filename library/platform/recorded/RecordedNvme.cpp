// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recorded/RecordedNvme.h"

#include "platform/DeviceStatus.h"
#include "platform/recorded/RecordedPages.h"

#include <QDir>

#include <vector>

namespace corvane {

namespace {
// What a controller answers for a log page it doesn't keep: Invalid Field in
// Command with Do Not Retry.
const int32_t kInvalidField = statusFromNvme(0x4002);
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
    default:
        if (const int32_t status = recorded::driveStatus(m_dir))
            return status;
        return kInvalidField;
    }
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
