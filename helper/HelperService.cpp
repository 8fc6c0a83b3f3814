// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelperService.h"

#include "platform/AtaPassThrough.h"
#include "platform/DeviceStatus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>

#include <cerrno>
#include <string_view>
#include <cstdio>
#include <vector>

namespace corvane::helper {

namespace {

constexpr int kDeniedLinesPerMinute = 5;
// How long one polkit answer covers further reads of the same caller;
// self-tests are always asked for.
constexpr qint64 kReadAuthorisationMs = 5000;
constexpr qsizetype kMaxRememberedCallers = 256;
constexpr int kReleaseGraceMs = 250;
constexpr uint32_t kPolkitAllowUserInteraction = 1;
// A password dialog may stay open a while; the caller's own timeout is longer.
constexpr int kPolkitTimeoutMs = 5 * 60 * 1000;

void logLine(const QString &line)
{
    const QByteArray utf8 = line.toUtf8();
    std::fprintf(stderr, "%s\n", utf8.constData());
}

QDBusMessage checkAuthorization(const QString &busName, const char *action)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"), QStringLiteral("CheckAuthorization"));
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("system-bus-name");
    subject.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    subject.beginMapEntry();
    subject << QStringLiteral("name") << QDBusVariant(busName);
    subject.endMapEntry();
    subject.endMap();
    subject.endStructure();
    QDBusArgument details;
    details.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    details.endMap();
    call << QVariant::fromValue(subject) << QLatin1String(action) << QVariant::fromValue(details)
         << kPolkitAllowUserInteraction << QString();
    return call;
}

// (bba{ss}): is authorised, is challenge, details.
struct PolkitResult
{
    bool authorised = false;
    bool challenge = false;
};

std::optional<PolkitResult> polkitResult(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("(bba{ss})"))
        return std::nullopt;
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    PolkitResult r;
    arg.beginStructure();
    arg >> r.authorised >> r.challenge;
    return r;
}

QByteArray bytes(const std::vector<uint8_t> &v) { return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size())); }

// Status and data of one read into a fresh buffer; no data unless it succeeded.
template<typename Read>
QVariantList readInto(size_t size, Read read)
{
    std::vector<uint8_t> buffer(size, 0);
    const int32_t status = read(std::span<uint8_t>(buffer));
    return {status, status == kStatusSuccess ? bytes(buffer) : QByteArray()};
}

QVariantList runAta(AtaSmartInterface &ata, const Request &r)
{
    switch (r.operation) {
    case Operation::AtaIdentify:
        return readInto(kAtaPageSize, [&](std::span<uint8_t> b) { return ata.getIdentifyData(b); });
    case Operation::AtaSmartData:
        return readInto(kAtaPageSize, [&](std::span<uint8_t> b) { return ata.readData(b.first<kAtaPageSize>()); });
    case Operation::AtaThresholds:
        return readInto(kAtaPageSize, [&](std::span<uint8_t> b) { return ata.readDataThresholds(b.first<kAtaPageSize>()); });
    case Operation::AtaReadLog:
        return readInto(replyBytes(r), [&](std::span<uint8_t> b) { return ata.readLogAtAddress(r.byteArg, b); });
    case Operation::AtaReturnStatus: {
        bool exceeded = false;
        const int32_t status = ata.returnStatus(exceeded);
        return {status, exceeded};
    }
    case Operation::AtaEnable:
        return {ata.enableDisableOperations(true)};
    case Operation::AtaCheckPowerMode: {
        uint8_t count = 0;
        const int32_t status = ata.checkPowerMode(count);
        return {status, QVariant::fromValue(count)};
    }
    case Operation::AtaSelfTest:
        if (r.byteArg == ata::kShortSelfTestOffLine || r.byteArg == ata::kExtendedSelfTestOffLine)
            return {ata.executeOffLineImmediate(r.byteArg == ata::kExtendedSelfTestOffLine)};
        if (auto *passThrough = dynamic_cast<AtaPassThroughSmart *>(&ata))
            return {passThrough->executeOffLineImmediateSubcommand(r.byteArg)};
        return {kStatusBadArgument};
    default:
        return {kStatusBadArgument};
    }
}

QVariantList runNvme(NvmeInterface &nvme, const Request &r)
{
    if (r.operation == Operation::NvmeIdentify)
        return readInto(kNvmeIdentifySize, [&](std::span<uint8_t> b) { return nvme.identifyController(b); });
    if (r.operation == Operation::NvmeSelfTest)
        return {nvme.deviceSelfTest(r.byteArg, nvme::kNsidAll)};
    return readInto(replyBytes(r), [&](std::span<uint8_t> b) { return nvme.getLogPage(r.byteArg, b, r.count); });
}

QString hex8(int32_t status) { return QStringLiteral("0x%1").arg(uint32_t(status), 8, 16, QLatin1Char('0')); }

} // namespace

HelperService::HelperService(QDBusConnection connection, std::unique_ptr<DeviceBackend> backend, int idleMs,
                             QObject *parent)
    : QDBusVirtualObject(parent), m_connection(std::move(connection)), m_backend(std::move(backend))
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (m_active != 0)
            return;
        if (m_released) {
            Q_EMIT idle();
            return;
        }
        m_released = true;
        Q_EMIT releaseName();
        m_idle.start(kReleaseGraceMs);
    });
    m_idle.start();
}

QString HelperService::introspect(const QString &) const
{
    // The bus policy lets no one introspect; the interface is HelperProtocol.h.
    return {};
}

bool HelperService::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    ++m_active;
    m_idle.stop();
    const QString sender = message.service();
    const uint uid = callerUid(sender);

    Refusal refusal;
    std::optional<Request> request;
    if (message.interface() != QLatin1String(kInterface))
        refusal.reason = QStringLiteral("unknown interface");
    else
        request = decodeRequest(message.member(), message.signature(), message.arguments(), refusal);
    if (!request) {
        refuse(message, uid, refusal.errorName, refusal.reason);
        return true;
    }

    const bool isRead = actionOf(request->operation) == std::string_view(kActionRead);
    if (isRead && m_readAllowed.contains(sender) && !m_readAllowed[sender].hasExpired(kReadAuthorisationMs)) {
        authorised(message, *request, uid);
        return true;
    }
    message.setDelayedReply(true);
    auto *watcher = new QDBusPendingCallWatcher(
        m_connection.asyncCall(checkAuthorization(sender, actionOf(request->operation)), kPolkitTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, message, r = *request, uid](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const std::optional<PolkitResult> result = polkitResult(w->reply());
                if (!result)
                    refuse(message, uid, kErrorNotAuthorized,
                           QStringLiteral("%1 %2: polkit did not answer: %3")
                               .arg(methodName(r.operation), r.device, w->reply().errorMessage()));
                else if (!result->authorised)
                    refuse(message, uid, kErrorNotAuthorized,
                           QStringLiteral("%1 %2: not authorised by the system's policy%3")
                               .arg(methodName(r.operation), r.device,
                                    result->challenge ? QStringLiteral(" (authentication required)") : QString()));
                else {
                    if (actionOf(r.operation) == std::string_view(kActionRead)) {
                        if (m_readAllowed.size() >= kMaxRememberedCallers)
                            m_readAllowed.clear();
                        m_readAllowed[message.service()].start();
                    }
                    authorised(message, r, uid);
                }
            });
    return true;
}

void HelperService::authorised(const QDBusMessage &message, const Request &request, uint uid)
{
    int32_t status = kStatusSuccess;
    QString reason;
    QVariantList reply;
    if (request.isAta()) {
        if (std::unique_ptr<AtaSmartInterface> ata = m_backend->openAta(request.device, status, reason))
            reply = runAta(*ata, request);
    } else if (std::unique_ptr<NvmeInterface> nvme = m_backend->openNvme(request.device, status, reason)) {
        reply = runNvme(*nvme, request);
    }
    if (reply.isEmpty()) {
        const int e = errnoOfStatus(status);
        // Names that resolve to nothing acceptable are refusals; a drive that
        // fails to open (busy, gone, I/O error) answers with its status.
        if (status == kStatusNoDevice || e == ELOOP || e == ENODEV) {
            refuse(message, uid, kErrorInvalidDevice, QStringLiteral("%1: %2").arg(methodName(request.operation), reason));
            return;
        }
        reply = {status};
        if (replyBytes(request) > 0)
            reply.append(QByteArray());
        else if (request.operation == Operation::AtaReturnStatus)
            reply.append(false);
        else if (request.operation == Operation::AtaCheckPowerMode)
            reply.append(QVariant::fromValue(uint8_t(0)));
    }
    logLine(QStringLiteral("uid %1 %2 %3: status %4").arg(uid).arg(methodName(request.operation), request.device,
                                                              hex8(reply.first().toInt())));
    m_connection.send(message.createReply(reply));
    finished();
}

void HelperService::refuse(const QDBusMessage &message, uint uid, const char *errorName, const QString &reason)
{
    logDenied(uid, QStringLiteral("uid %1 refused %2: %3").arg(uid).arg(message.member().left(64), reason));
    m_connection.send(message.createErrorReply(QLatin1String(errorName), reason));
    finished();
}

uint HelperService::callerUid(const QString &sender)
{
    if (const auto it = m_uids.constFind(sender); it != m_uids.constEnd())
        return *it;
    if (m_uids.size() >= kMaxRememberedCallers)
        m_uids.clear();
    const QDBusReply<uint> uid = m_connection.interface()->serviceUid(sender);
    // An unknown uid is logged as such and never remembered.
    if (!uid.isValid())
        return uint(-1);
    m_uids.insert(sender, uid.value());
    return uid.value();
}

void HelperService::finished()
{
    if (--m_active == 0)
        m_idle.start();
}

void HelperService::logDenied(uint uid, const QString &line)
{
    DeniedLog &log = m_denied[uid];
    if (!log.window.isValid() || log.window.hasExpired(60 * 1000)) {
        if (log.suppressed)
            logLine(QStringLiteral("uid %1: %2 more refusals not logged").arg(uid).arg(log.suppressed));
        log.window.start();
        log.lines = 0;
        log.suppressed = 0;
    }
    if (log.lines < kDeniedLinesPerMinute) {
        ++log.lines;
        logLine(line);
    } else {
        ++log.suppressed;
    }
}

} // namespace corvane::helper
