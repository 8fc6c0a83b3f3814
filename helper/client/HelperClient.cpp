// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelperClient.h"

#include "HelperProtocol.h"
#include "platform/AtaPassThrough.h"
#include "platform/DeviceStatus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLoggingCategory>

#include <algorithm>

namespace corvane::helper {

Q_LOGGING_CATEGORY(lcHelperClient, "corvane.helperclient", QtWarningMsg)

namespace {

// A drive command may take the ATA timeout (20 s); a self-test may wait for
// an administrator to type a password.
constexpr int kReadTimeoutMs = 120 * 1000;
constexpr int kSelfTestTimeoutMs = 10 * 60 * 1000;

int32_t statusOfError(const QDBusMessage &reply)
{
    const QString name = reply.errorName();
    qCInfo(lcHelperClient, "%s: %s", qPrintable(name), qPrintable(reply.errorMessage()));
    if (name == QLatin1String(kErrorNotAuthorized) || name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        return kStatusHelperNotAuthorized;
    if (name == QLatin1String(kErrorInvalidDevice))
        return kStatusNoDevice;
    if (name == QLatin1String(kErrorInvalidRequest))
        return kStatusBadArgument;
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        return kStatusHelperMissing;
    // NoReply, Disconnected, Spawn.*: installed but not answering.
    return kStatusHelperNotRunning;
}

class Channel
{
public:
    Channel(QDBusConnection bus, QString device) : m_bus(std::move(bus)), m_device(std::move(device)) {}

    // The reply, or nullopt with the status of a refusal or bus failure.
    std::optional<QVariantList> call(Operation op, QVariantList args, const char *replySignature, int32_t &status,
                                     int timeoutMs = kReadTimeoutMs) const
    {
        if (!m_bus.isConnected()) {
            status = kStatusHelperNotRunning;
            return std::nullopt;
        }
        QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                              QLatin1String(kInterface), methodName(op));
        args.prepend(m_device);
        message.setArguments(args);
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, timeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            status = statusOfError(reply);
            return std::nullopt;
        }
        if (reply.signature() != QLatin1String(replySignature)) {
            status = kStatusUnexpectedAnswer;
            return std::nullopt;
        }
        status = reply.arguments().at(0).toInt();
        return reply.arguments();
    }

    int32_t read(Operation op, QVariantList args, std::span<uint8_t> out, size_t expected) const
    {
        int32_t status = 0;
        const std::optional<QVariantList> reply = call(op, std::move(args), "iay", status);
        if (!reply || status)
            return status;
        const QByteArray data = reply->at(1).toByteArray();
        if (size_t(data.size()) != expected || out.size() < expected)
            return kStatusUnexpectedAnswer;
        std::copy(data.begin(), data.end(), out.begin());
        return kStatusSuccess;
    }

    int32_t command(Operation op, QVariantList args, int timeoutMs) const
    {
        int32_t status = 0;
        call(op, std::move(args), "i", status, timeoutMs);
        return status;
    }

private:
    QDBusConnection m_bus;
    QString m_device;
};

class HelperAtaSmart : public AtaSmartInterface
{
public:
    HelperAtaSmart(QDBusConnection bus, QString device) : m_channel(std::move(bus), std::move(device)) {}

    int32_t enableDisableOperations(bool enable) override
    {
        // As the direct seam: SMART is never switched off.
        return enable ? m_channel.command(Operation::AtaEnable, {}, kReadTimeoutMs) : kStatusSuccess;
    }
    int32_t returnStatus(bool &thresholdExceeded) override
    {
        int32_t status = 0;
        const std::optional<QVariantList> reply = m_channel.call(Operation::AtaReturnStatus, {}, "ib", status);
        if (reply && status == kStatusSuccess)
            thresholdExceeded = reply->at(1).toBool();
        return status;
    }
    int32_t executeOffLineImmediate(bool extendedTest) override
    {
        return selfTest(extendedTest ? ata::kExtendedSelfTestOffLine : ata::kShortSelfTestOffLine);
    }
    int32_t abortSelfTest() override { return selfTest(ata::kAbortSelfTest); }
    int32_t readData(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        return m_channel.read(Operation::AtaSmartData, {}, buffer, kAtaPageSize);
    }
    int32_t validateReadData(std::span<const uint8_t, kAtaPageSize> buffer) override
    {
        return ataChecksumValid(buffer) ? kStatusSuccess : kStatusBadChecksum;
    }
    int32_t readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        return m_channel.read(Operation::AtaThresholds, {}, buffer, kAtaPageSize);
    }
    int32_t readLogAtAddress(uint8_t address, std::span<uint8_t> buffer) override
    {
        const size_t sectors = buffer.size() / kAtaPageSize;
        if (sectors == 0 || sectors > 255)
            return kStatusBadArgument;
        return m_channel.read(Operation::AtaReadLog, {QVariant::fromValue(address), QVariant::fromValue(uint8_t(sectors))},
                              buffer, sectors * kAtaPageSize);
    }
    int32_t getIdentifyData(std::span<uint8_t> buffer) override
    {
        return m_channel.read(Operation::AtaIdentify, {}, buffer, kAtaPageSize);
    }
    int32_t checkPowerMode(uint8_t &count) override
    {
        int32_t status = 0;
        const std::optional<QVariantList> reply = m_channel.call(Operation::AtaCheckPowerMode, {}, "iy", status);
        if (reply && status == kStatusSuccess)
            count = reply->at(1).value<uint8_t>();
        return status;
    }
    int32_t selfTest(uint8_t subcommand)
    {
        return m_channel.command(Operation::AtaSelfTest, {QVariant::fromValue(subcommand)}, kSelfTestTimeoutMs);
    }

private:
    Channel m_channel;
};

class HelperNvme : public NvmeInterface
{
public:
    HelperNvme(QDBusConnection bus, QString device) : m_channel(std::move(bus), std::move(device)) {}

    int32_t identifyController(std::span<uint8_t> buffer) override
    {
        if (buffer.size() < kNvmeIdentifySize)
            return kStatusBadArgument;
        const int32_t status = m_channel.read(Operation::NvmeIdentify, {}, buffer, kNvmeIdentifySize);
        if (status == kStatusSuccess)
            m_version = nvmeVersionFromIdentify(buffer);
        return status;
    }
    int32_t getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords) override
    {
        if (dwords == 0 || size_t(dwords) * 4 > buffer.size())
            return kStatusBadArgument;
        return m_channel.read(Operation::NvmeGetLogPage, {QVariant::fromValue(logId), QVariant::fromValue(dwords)},
                              buffer, size_t(dwords) * 4);
    }
    int32_t deviceSelfTest(uint8_t code, uint32_t) override
    {
        // The helper tests all namespaces, as the session asks.
        return m_channel.command(Operation::NvmeSelfTest, {QVariant::fromValue(code)}, kSelfTestTimeoutMs);
    }
    uint16_t interfaceVersion() const override { return m_version.major; }
    uint16_t interfaceRevision() const override { return m_version.minor; }

private:
    Channel m_channel;
    NvmeVersion m_version;
};

} // namespace

AtaSmartOpener helperAtaSmartOpener(const QDBusConnection &bus)
{
    return [bus](const QString &bsdName, int32_t &status) -> std::unique_ptr<AtaSmartInterface> {
        if (!isAtaDeviceName(bsdName)) {
            status = kStatusNoDevice;
            return nullptr;
        }
        status = kStatusSuccess;
        return std::make_unique<HelperAtaSmart>(bus, bsdName);
    };
}

NvmeOpener helperNvmeOpener(const QDBusConnection &bus)
{
    return [bus](const QString &bsdName, int32_t &status) -> std::unique_ptr<NvmeInterface> {
        if (!isNvmeDeviceName(bsdName)) {
            status = kStatusNoDevice;
            return nullptr;
        }
        status = kStatusSuccess;
        return std::make_unique<HelperNvme>(bus, bsdName);
    };
}

bool hasDirectDriveAccess()
{
    const DriveCapabilities caps = effectiveDriveCapabilities();
    return caps.rawio && caps.admin;
}

bool helperAvailable(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return false;
    QDBusConnectionInterface *iface = bus.interface();
    return iface->isServiceRegistered(QLatin1String(kService)).value()
           || iface->activatableServiceNames().value().contains(QLatin1String(kService));
}

void installHelperSeams()
{
    setSystemSeamsHook([](DrivePlatform &platform) {
        if (hasDirectDriveAccess())
            return;
        const QDBusConnection bus = QDBusConnection::systemBus();
        // Not installed: the direct seams fail with EACCES, whose message
        // says to install the helper.
        if (!helperAvailable(bus))
            return;
        platform.ata = helperAtaSmartOpener(bus);
        platform.nvme = helperNvmeOpener(bus);
    });
}

int32_t helperAtaSelfTest(AtaSmartInterface &seam, uint8_t subcommand)
{
    if (auto *viaHelper = dynamic_cast<HelperAtaSmart *>(&seam))
        return viaHelper->selfTest(subcommand);
    if (auto *direct = dynamic_cast<AtaPassThroughSmart *>(&seam))
        return direct->executeOffLineImmediateSubcommand(subcommand);
    return kStatusBadArgument;
}

} // namespace corvane::helper
