// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelperProtocol.h"

#include "platform/AtaSmartInterface.h"
#include "platform/NvmeInterface.h"

#include <QFile>
#include <QRegularExpression>

namespace corvane::helper {

namespace {

struct OperationInfo
{
    Operation operation;
    const char *method;
    const char *signature;
    bool selfTest;
};

constexpr OperationInfo kOperations[] = {
    {Operation::AtaIdentify, "AtaIdentify", "s", false},
    {Operation::AtaSmartData, "AtaSmartData", "s", false},
    {Operation::AtaThresholds, "AtaThresholds", "s", false},
    {Operation::AtaReturnStatus, "AtaReturnStatus", "s", false},
    {Operation::AtaReadLog, "AtaReadLog", "syy", false},
    {Operation::AtaEnable, "AtaEnable", "s", false},
    {Operation::AtaSelfTest, "AtaSelfTest", "sy", true},
    {Operation::AtaCheckPowerMode, "AtaCheckPowerMode", "s", false},
    {Operation::NvmeIdentify, "NvmeIdentify", "s", false},
    {Operation::NvmeGetLogPage, "NvmeGetLogPage", "syu", false},
    {Operation::NvmeSelfTest, "NvmeSelfTest", "sy", true},
};

static_assert(std::size(kOperations) == size_t(kOperationCount), "one entry per operation, in order");

const OperationInfo &info(Operation operation) { return kOperations[int(operation)]; }

// The SMART logs Corvane reads, one sector each: directory, summary error, self-test.
constexpr uint8_t kAtaLogs[] = {0x00, 0x01, 0x06};
constexpr uint32_t kAtaLogMaxSectors = 1;

struct NvmeLogLimit
{
    uint8_t id;
    uint32_t maxDwords;
};
// Error information (up to 256 entries), SMART / health, firmware slots, self-test.
constexpr NvmeLogLimit kNvmeLogs[] = {
    {nvme::kLogError, uint32_t(kNvmeErrorLogMaxEntries * kNvmeErrorEntrySize / 4)},
    {nvme::kLogSmartHealth, uint32_t(kNvmeLogPageSize / 4)},
    {nvme::kLogFirmwareSlot, uint32_t(kNvmeLogPageSize / 4)},
    {nvme::kLogSelfTest, uint32_t(kNvmeSelfTestLogSize / 4)},
};

constexpr uint8_t kSelfTests[] = {0x01, 0x02, 0x03, 0x7F}; // short, extended, conveyance, abort
constexpr uint8_t kNvmeSelfTests[] = {nvme::kSelfTestShort, nvme::kSelfTestExtended, nvme::kSelfTestAbort};

std::nullopt_t refuse(Refusal &refusal, const char *name, const QString &reason)
{
    refusal.errorName = name;
    refusal.reason = reason;
    return std::nullopt;
}

} // namespace

QString methodName(Operation operation) { return QLatin1String(info(operation).method); }
const char *signatureOf(Operation operation) { return info(operation).signature; }
const char *actionOf(Operation operation) { return info(operation).selfTest ? kActionSelfTest : kActionRead; }

bool isAtaDeviceName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^sd[a-z]{1,4}$"));
    return name.size() <= kMaxDeviceNameBytes && pattern.match(name).hasMatch();
}

bool isNvmeDeviceName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^nvme[0-9]{1,4}(?:c[0-9]{1,4})?(?:n[0-9]{1,5})?$"));
    return name.size() <= kMaxDeviceNameBytes && pattern.match(name).hasMatch();
}

std::optional<Request> decodeRequest(const QString &member, const QString &signature,
                                     const QVariantList &arguments, Refusal &refusal)
{
    const OperationInfo *found = nullptr;
    for (const OperationInfo &op : kOperations) {
        if (member == QLatin1String(op.method))
            found = &op;
    }
    if (!found)
        return refuse(refusal, kErrorInvalidRequest, QStringLiteral("unknown operation"));
    if (signature != QLatin1String(found->signature) || arguments.size() != signature.size())
        return refuse(refusal, kErrorInvalidRequest,
                      QStringLiteral("malformed request: %1 takes (%2)").arg(member, QLatin1String(found->signature)));

    Request r;
    r.operation = found->operation;
    const QByteArray raw = arguments.at(0).toString().toUtf8();
    if (raw.size() > kMaxDeviceNameBytes)
        return refuse(refusal, kErrorInvalidDevice, QStringLiteral("device name longer than %1 bytes").arg(kMaxDeviceNameBytes));
    r.device = QString::fromUtf8(raw);
    if (r.device.contains(QLatin1Char('/')) || r.device.contains(QLatin1String("..")))
        return refuse(refusal, kErrorInvalidDevice, QStringLiteral("a device is named by its kernel name, not a path"));
    if (r.isAta() ? !isAtaDeviceName(r.device) : !isNvmeDeviceName(r.device))
        return refuse(refusal, kErrorInvalidDevice,
                      QStringLiteral("\"%1\" is not the kernel name of a whole %2 drive")
                          .arg(r.device, r.isAta() ? QStringLiteral("ATA") : QStringLiteral("NVMe")));

    switch (r.operation) {
    case Operation::AtaReadLog: {
        r.byteArg = arguments.at(1).value<uint8_t>();
        r.count = arguments.at(2).value<uint8_t>();
        if (std::find(std::begin(kAtaLogs), std::end(kAtaLogs), r.byteArg) == std::end(kAtaLogs))
            return refuse(refusal, kErrorInvalidRequest, QStringLiteral("log address 0x%1 is not one Corvane reads").arg(r.byteArg, 2, 16, QLatin1Char('0')));
        if (r.count == 0 || r.count > kAtaLogMaxSectors)
            return refuse(refusal, kErrorInvalidRequest, QStringLiteral("oversized request: %1 log sectors").arg(r.count));
        break;
    }
    case Operation::AtaSelfTest:
        r.byteArg = arguments.at(1).value<uint8_t>();
        if (std::find(std::begin(kSelfTests), std::end(kSelfTests), r.byteArg) == std::end(kSelfTests))
            return refuse(refusal, kErrorInvalidRequest, QStringLiteral("self-test subcommand 0x%1 is not offered").arg(r.byteArg, 2, 16, QLatin1Char('0')));
        break;
    case Operation::NvmeSelfTest:
        r.byteArg = arguments.at(1).value<uint8_t>();
        if (std::find(std::begin(kNvmeSelfTests), std::end(kNvmeSelfTests), r.byteArg) == std::end(kNvmeSelfTests))
            return refuse(refusal, kErrorInvalidRequest, QStringLiteral("self-test code 0x%1 is not offered").arg(r.byteArg, 2, 16, QLatin1Char('0')));
        break;
    case Operation::NvmeGetLogPage: {
        r.byteArg = arguments.at(1).value<uint8_t>();
        r.count = arguments.at(2).value<uint32_t>();
        const auto limit = std::find_if(std::begin(kNvmeLogs), std::end(kNvmeLogs),
                                        [&](const NvmeLogLimit &l) { return l.id == r.byteArg; });
        if (limit == std::end(kNvmeLogs))
            return refuse(refusal, kErrorInvalidRequest, QStringLiteral("log page 0x%1 is not one Corvane reads").arg(r.byteArg, 2, 16, QLatin1Char('0')));
        if (r.count == 0 || r.count > limit->maxDwords)
            return refuse(refusal, kErrorInvalidRequest, QStringLiteral("oversized request: %1 dwords of log page 0x%2 (at most %3)")
                                                             .arg(r.count).arg(r.byteArg, 2, 16, QLatin1Char('0')).arg(limit->maxDwords));
        break;
    }
    default:
        break;
    }
    return r;
}

size_t replyBytes(const Request &request)
{
    switch (request.operation) {
    case Operation::AtaIdentify:
    case Operation::AtaSmartData:
    case Operation::AtaThresholds:
        return kAtaPageSize;
    case Operation::AtaReadLog:
        return size_t(request.count) * kAtaPageSize;
    case Operation::NvmeIdentify:
        return kNvmeIdentifySize;
    case Operation::NvmeGetLogPage:
        return size_t(request.count) * 4;
    default:
        return 0;
    }
}

DriveCapabilities effectiveDriveCapabilities()
{
    constexpr unsigned kCapSysRawio = 17, kCapSysAdmin = 21;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("CapEff:")) {
            bool ok = false;
            const qulonglong caps = line.mid(7).trimmed().toULongLong(&ok, 16);
            if (!ok)
                return {};
            return {bool(caps >> kCapSysRawio & 1), bool(caps >> kCapSysAdmin & 1)};
        }
    }
    return {};
}

} // namespace corvane::helper
