// SPDX-License-Identifier: GPL-3.0-or-later
// The SMART session of THSMARTDevice: opening the drive, reading every page,
// following a self-test.
#include "drive/AtaPageDecoding.h"
#include "drive/Attributes.h"
#include "drive/THSMARTDevice.h"
#include "platform/DeviceStatus.h"

#include <QLoggingCategory>
#include <QTimer>

#include <cerrno>

Q_LOGGING_CATEGORY(lcSession, "corvane.session")

namespace corvane {

namespace {

AtaSmartOpener &defaultOpener()
{
    static AtaSmartOpener opener;
    return opener;
}

std::shared_ptr<const Registry> &defaultRegistry()
{
    static std::shared_ptr<const Registry> registry;
    return registry;
}

int &tickInterval()
{
    static int ms = 1000;
    return ms;
}

// Firmware of these drives answers IDENTIFY through some bridges with garbage.
bool identifySkipped(const QString &model)
{
    static const QStringList skip = {
        QStringLiteral("LaCie   2big v2 THB USB3 Raid 0"), QStringLiteral("LaCie   2big v2 THB USB3 Raid 1"),
        QStringLiteral("ST3000DM001-1ER166"), QStringLiteral("ST4000DX002-1H2178")};
    return skip.contains(model);
}

QString prop(const QVariantMap &p, const char *key) { return p.value(QLatin1String(key)).toString(); }

} // namespace

void THSMARTDevice::setDefaultAtaOpener(AtaSmartOpener opener) { defaultOpener() = std::move(opener); }
void THSMARTDevice::setDefaultRegistry(std::shared_ptr<const Registry> registry)
{
    defaultRegistry() = std::move(registry);
}
void THSMARTDevice::setSelfTestTickInterval(int milliseconds) { tickInterval() = std::max(0, milliseconds); }

int32_t THSMARTDevice::openSMARTInterface()
{
    int32_t status = kStatusNoDevice;
    smart_service = {};
    const QString bsdName = prop(_driveProperties, "bsdName");

    // Only a medium with a SMART-capable ancestor within five steps is opened.
    if (const auto registry = _registry ? _registry : defaultRegistry()) {
        const QList<RegistryEntry> found = registry->matchingServices({{QStringLiteral("BSD Name"), bsdName}});
        if (found.isEmpty())
            return status;
        RegistryEntry entry = found.first();
        for (int step = 0; step < 5 && entry; ++step) {
            entry = registry->parentEntry(entry);
            if (entry && registry->properties(entry).contains(QStringLiteral("SMART Capable"))) {
                smart_service = entry;
                break;
            }
        }
        if (!smart_service)
            return status;
    }

    const AtaSmartOpener &opener = _opener ? _opener : defaultOpener();
    if (!opener) {
        smart_service = {};
        return status;
    }
    status = 0;
    sif = opener(bsdName, status);
    if (!sif) {
        smart_service = {};
        return status ? status : kStatusNoDevice;
    }
    return 0;
}

void THSMARTDevice::closeSMARTInterface()
{
    sif.reset();
    smart_service = {};
}

int32_t THSMARTDevice::updateProperties()
{
    // The followed test owns the session; a read now would close it under the timer.
    if (timer)
        return statusFromErrno(EBUSY);
    _smartDataStatus = kStatusNoDevice;
    const QString bsdName = prop(_driveProperties, "bsdName");
    const QString model = prop(_driveProperties, "Device Model");
    const QString firmware = prop(_driveProperties, "Firmware Version");
    const QVariantMap ignore = _driveProperties.value(QStringLiteral("ignoreAttributes")).toMap();

    if (const int32_t status = openSMARTInterface())
        return status;
    if (const int32_t status = sif->enableDisableOperations(true)) {
        closeSMARTInterface();
        return status;
    }

    if (!identifySkipped(model) && sif->getIdentifyData(identity) == 0 && identityValid(identity)) {
        qCInfo(lcSession, "bsd: %s identity validated", qUtf8Printable(bsdName));
        decodeIdentity(*this);
    }

    _smartDataStatus = sif->readData(smartData);
    if (_smartDataStatus == 0) {
        if (smartDataValid(smartData) && sif->validateReadData(smartData) == 0) {
            bool exceeded = false;
            if (sif->returnStatus(exceeded) != 0)
                exceeded = false;
            sif->readDataThresholds(smartThresh);
            decodeCapabilities(*this);
            // The settings' model and firmware pick the database entry, as they
            // did before IDENTIFY replaced them.
            mergeProperties(attributesModel(smartData, smartThresh, model, firmware, ignore, exceeded));
            if (sif->readLogAtAddress(0, logDirectory) == 0) {
                qCInfo(lcSession, "logdir[0]  version: %d", int(logDirectory[0] | (logDirectory[1] << 8)));
                decodeLogDirectory(*this);
            }
            if (sif->readLogAtAddress(1, errorLog) == 0)
                decodeErrorLog(*this);
            if (sif->readLogAtAddress(6, testLog) == 0)
                decodeSelftestLog(*this);
        } else {
            markSmartDataInvalid(*this);
        }
    }

    sif->enableDisableOperations(false);
    closeSMARTInterface();
    return 0;
}

int32_t THSMARTDevice::startTest(const QString &type)
{
    if (timer)
        return 0; // one test is followed at a time
    if (const int32_t status = openSMARTInterface())
        return status;

    const bool extended = type == QLatin1String("Extended");
    unsigned minutes = extended ? smartData[373] : smartData[372];
    if (extended && minutes == 255)
        minutes = unsigned(smartData[375] | (smartData[376] << 8));

    // A drive that refuses the test would otherwise be followed through the
    // status of its previous test and reported as passed.
    int32_t status = sif->enableDisableOperations(true);
    if (status == 0)
        status = sif->executeOffLineImmediate(extended);
    if (status) {
        closeSMARTInterface();
        return status;
    }
    _testElapsed = 0;
    _testExpected = double(minutes) * 60.0;
    _driveProperties.insert(QStringLiteral("tip"), true);

    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &THSMARTDevice::selfTestTick);
    // The first tick comes at once, the others once a second.
    timer->start(0);
    return 0;
}

void THSMARTDevice::selfTestTick()
{
    if (!timer)
        return;
    timer->setInterval(tickInterval());
    _testElapsed += 1;
    // A drive that went away will never report an end: stop following it.
    const int32_t readStatus = sif ? sif->readData(smartData) : kStatusNoDevice;
    if (isNoDeviceStatus(readStatus)) {
        endSelfTest();
        return;
    }
    const unsigned status = smartData[363] >> 4;
    const unsigned remaining = smartData[363] & 0x0F;
    // T = 0 gives inf / NaN progress, which is what the numbers are; the tick
    // logic does not depend on them.
    mergeProperties({{QStringLiteral("test_status"),
                      QStringLiteral("%1 %2%").arg(selfTestStatusText(status)).arg(100 - 10 * int(remaining))},
                     {QStringLiteral("test_elapsed"), _testElapsed},
                     {QStringLiteral("test_remaining"), _testExpected - _testElapsed},
                     {QStringLiteral("test_progress"), _testElapsed * 100.0 / _testExpected}});
    if (status != 15)
        endSelfTest();
}

void THSMARTDevice::abortSelftest()
{
    if (timer)
        endSelfTest();
}

int32_t THSMARTDevice::stopSelfTest()
{
    if (!timer)
        return 0;
    const int32_t status = sif ? sif->abortSelfTest() : kStatusNoDevice;
    // One more look records the drive's final status ("Aborted") when it has one.
    if (status == 0)
        selfTestTick();
    if (timer)
        endSelfTest();
    return status;
}

void THSMARTDevice::endSelfTest()
{
    timer->stop();
    timer->deleteLater();
    timer = nullptr;
    if (sif) {
        if (sif->readLogAtAddress(6, testLog) == 0)
            decodeSelftestLog(*this);
        sif->enableDisableOperations(false);
    }
    _driveProperties.insert(QStringLiteral("tip"), false);
    closeSMARTInterface();
    notifyEndOfTest();
}

} // namespace corvane
