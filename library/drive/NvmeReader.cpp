// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/NvmeReader.h"

#include "drive/NvmeDecoders.h"
#include "platform/DeviceStatus.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <vector>

namespace corvane {

namespace {

QString hex8(int32_t status)
{
    return QStringLiteral("%1").arg(uint32_t(status), 8, 16, QLatin1Char('0'));
}

void mergeInto(QVariantMap &target, const QVariantMap &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        target.insert(it.key(), it.value());
}

} // namespace

thNVMe::thNVMe(NvmeOpener opener, ControllerProperties properties)
    : m_opener(std::move(opener)), m_properties(std::move(properties))
{
}

QVariantMap thNVMe::readNVMe_bsd(const QString &bsdName, int32_t *status) const
{
    QVariantMap result;
    if (status)
        *status = 0;

    if (m_properties) {
        const QVariantMap registry = m_properties(bsdName);
        if (!registry.contains(QStringLiteral("NVMe SMART Capable")))
            return result;
        for (const char *key : {"NVMe SMART Capable", "Logical Block Size", "Physical Block Size"}) {
            const QString k = QLatin1String(key);
            if (registry.contains(k))
                result.insert(k, registry.value(k));
        }
        mergeInto(result, registry.value(QStringLiteral("Device Characteristics")).toMap());
        mergeInto(result, registry.value(QStringLiteral("Protocol Characteristics")).toMap());
    }

    int32_t openStatus = 0, identStatus = 0, dataStatus = 0;
    const int32_t queryStatus = 0; // opening the device is one step here
    std::unique_ptr<NvmeInterface> nvme;
    std::vector<uint8_t> identify(kNvmeIdentifySize, 0);
    std::vector<uint8_t> smart(kNvmeLogPageSize, 0);
    if (m_opener)
        nvme = m_opener(bsdName, openStatus);
    if (!nvme && openStatus == 0)
        openStatus = kStatusNoDevice;
    if (nvme)
        identStatus = nvme->identifyController(identify);
    if (nvme && identStatus == 0)
        dataStatus = nvme->smartReadData(smart);
    if (!nvme || identStatus || dataStatus) {
        log(QStringLiteral("corvane"),
            QStringLiteral("readNVMe bsd: %1 error  plugin: %2 query: %3 ident: %4 data: %5 ")
                .arg(bsdName, hex8(openStatus), hex8(queryStatus), hex8(identStatus), hex8(dataStatus)));
        if (status)
            *status = openStatus ? openStatus : identStatus ? identStatus : dataStatus;
        return result;
    }

    mergeInto(result, nvmeIdentifyKeys(identify, nvme->interfaceVersion(), nvme->interfaceRevision()));
    mergeInto(result, nvmeHealthKeys(smart));
    result.insert(QStringLiteral("powerStates"), nvmePowerStates(identify));

    // A failed firmware-slot read decodes as zeros: revisions fall back to "fr".
    std::vector<uint8_t> firmware(kNvmeLogPageSize, 0);
    nvme->getLogPage(nvme::kLogFirmwareSlot, firmware, kNvmeLogPageSize / 4);
    mergeInto(result, nvmeFirmwareKeys(identify, firmware));

    const size_t entries = std::min(nvmeErrorLogEntryCount(identify), kNvmeErrorLogMaxEntries);
    std::vector<uint8_t> errors(kNvmeErrorLogMaxEntries * kNvmeErrorEntrySize, 0);
    QVariantList errorLog;
    const int32_t errorStatus =
        nvme->getLogPage(nvme::kLogError, errors, uint32_t(entries * kNvmeErrorEntrySize / 4));
    if (errorStatus) {
        log(QStringLiteral("corvane"),
            QStringLiteral("readNVMe bsd: %1 unable to read error log page 1  error: %2")
                .arg(bsdName, hex8(errorStatus)));
    } else {
        errorLog = nvmeErrorLog(errors, entries);
    }
    result.insert(QStringLiteral("errorLog"), errorLog);

    // The self-test log only where the controller has the command; an empty
    // offer list tells the self-test controls there is nothing to run.
    result.insert(QStringLiteral("selftests"), nvmeSelfTestOffers(identify));
    if (nvmeSelfTestSupported(identify)) {
        std::vector<uint8_t> tests(kNvmeSelfTestLogSize, 0);
        const int32_t testStatus = nvme->getLogPage(nvme::kLogSelfTest, tests, uint32_t(kNvmeSelfTestLogSize / 4));
        if (testStatus)
            log(QStringLiteral("corvane"),
                QStringLiteral("readNVMe bsd: %1 unable to read self-test log page 6  error: %2")
                    .arg(bsdName, hex8(testStatus)));
        else
            mergeInto(result, nvmeSelfTestLog(tests));
    }
    return result;
}

void thNVMe::log(const QString &name, const QString &entry)
{
    QString fileName = name.isEmpty() ? QStringLiteral("corvane") : name;
    // A log name is a file name, never a path.
    fileName.replace(QLatin1Char('/'), QLatin1Char('_'));
    fileName.remove(QChar(0));
    const QString dir = logDir();
    if (!QDir().mkpath(dir))
        return;
    QFile file(QDir(dir).filePath(fileName + QStringLiteral(".log")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString line = QStringLiteral("%1  %2\n")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                  entry);
    file.write(line.toUtf8());
}

} // namespace corvane
