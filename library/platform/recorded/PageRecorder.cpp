// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recorded/PageRecorder.h"

#include "platform/DeviceStatus.h"

#include <QDir>
#include <QSaveFile>

#include <cerrno>
#include <vector>

namespace corvane {

namespace {

bool writeFile(const QString &dir, const QString &name, const QByteArray &content)
{
    if (!QDir().mkpath(dir))
        return false;
    QSaveFile file(QDir(dir).filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content);
    return file.commit();
}

QByteArray asBytes(std::span<const uint8_t> data)
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
}

// Records one read: the file on success, the status otherwise.
void keep(PageRecording &result, const QString &dir, const QString &name, int32_t status,
          std::span<const uint8_t> data)
{
    if (status == kStatusSuccess && !writeFile(dir, name, asBytes(data)))
        status = statusFromErrno(EIO);
    if (status == kStatusSuccess)
        result.written.append(name);
    else
        result.failed.insert(name, status);
}

} // namespace

PageRecording recordAtaPages(AtaSmartInterface &ata, const QString &dir)
{
    PageRecording result;
    std::array<uint8_t, kAtaPageSize> page{};
    const auto name = [](AtaPages::Kind kind) { return ataPageFileName(kind); };
    keep(result, dir, name(AtaPages::Identity), ata.getIdentifyData(page), page);
    // SMART data and logs answer only with SMART enabled; it is never disabled.
    ata.enableDisableOperations(true);
    keep(result, dir, name(AtaPages::SmartData), ata.readData(page), page);
    keep(result, dir, name(AtaPages::Thresholds), ata.readDataThresholds(page), page);
    for (const AtaPageFile &log : kAtaPageFiles) {
        if (log.logAddress >= 0)
            keep(result, dir, name(log.kind), ata.readLogAtAddress(uint8_t(log.logAddress), page), page);
    }
    bool exceeded = false;
    const int32_t status = ata.returnStatus(exceeded);
    const QByteArray text = exceeded ? QByteArrayLiteral("0 failing\n") : QByteArrayLiteral("1 good\n");
    keep(result, dir, QLatin1String(kAtaStatusFileName), status,
         std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(text.constData()), size_t(text.size())));
    return result;
}

PageRecording recordNvmePages(NvmeInterface &nvme, const QString &dir)
{
    PageRecording result;
    std::vector<uint8_t> identify(kNvmeIdentifySize, 0), page(kNvmeLogPageSize, 0);
    const int32_t identifyStatus = nvme.identifyController(identify);
    keep(result, dir, QStringLiteral("nvme-id-ctrl.bin"), identifyStatus, identify);
    keep(result, dir, QStringLiteral("nvme-log02-smart.bin"), nvme.smartReadData(page), page);
    keep(result, dir, QStringLiteral("nvme-log03-fwslot.bin"),
         nvme.getLogPage(nvme::kLogFirmwareSlot, page, kNvmeLogPageSize / 4), page);
    if (identifyStatus == kStatusSuccess) {
        // Identify byte 262: the zero-based count of error entries kept.
        const size_t entries = size_t(identify[262]) + 1;
        std::vector<uint8_t> errors(entries * kNvmeErrorEntrySize, 0);
        keep(result, dir, QStringLiteral("nvme-log01-error.bin"),
             nvme.getLogPage(nvme::kLogError, errors, uint32_t(errors.size() / 4)), errors);
        // OACS bit 4: the controller has Device Self-test and keeps its log.
        if (identify[256] & 0x10) {
            std::vector<uint8_t> tests(kNvmeSelfTestLogSize, 0);
            keep(result, dir, QStringLiteral("nvme-log06-selftest.bin"),
                 nvme.getLogPage(nvme::kLogSelfTest, tests, uint32_t(tests.size() / 4)), tests);
        }
    }
    return result;
}

bool recordUnreadable(const QString &dir, int32_t status)
{
    const int error = errnoOfStatus(status);
    const QString name = errnoName(error ? error : EIO);
    return writeFile(dir, QStringLiteral("unreadable"), name.toLatin1() + '\n');
}

} // namespace corvane
