// SPDX-License-Identifier: GPL-3.0-or-later
// The SMART session of THSMARTDevice: opening the drive, reading every page,
// following a self-test.
#include "database/THSmartDeviceDatabase.h"
#include "drive/AtaPages.h"
#include "drive/SmartLogDecoder.h"
#include "drive/IdentifyDecoder.h"
#include "drive/NvmeDecoders.h"
#include "drive/THSMARTDevice.h"
#include "platform/DeviceStatus.h"

#include <QLoggingCategory>
#include <QTimer>

#include <cerrno>
#include <vector>

Q_LOGGING_CATEGORY(lcSession, "corvane.session")

namespace corvane {

namespace {

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

void THSMARTDevice::setSelfTestTickInterval(int milliseconds) { tickInterval() = std::max(0, milliseconds); }

int32_t THSMARTDevice::openSMARTInterface()
{
    int32_t status = kStatusNoDevice;
    smart_service = {};
    const QString bsdName = prop(_driveProperties, "bsdName");

    // Only a medium with a SMART-capable ancestor within five steps is opened.
    if (_registry) {
        smart_service = capableAncestor(*_registry, bsdName, QStringLiteral("SMART Capable"));
        if (!smart_service)
            return status;
    }

    if (!_opener) {
        smart_service = {};
        return status;
    }
    status = 0;
    sif = _opener(bsdName, status);
    if (!sif) {
        smart_service = {};
        return status ? status : kStatusNoDevice;
    }
    return 0;
}

void THSMARTDevice::closeSMARTInterface()
{
    sif.reset();
    nif.reset();
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
    const QVariantMap ignore = _driveProperties.value(QStringLiteral("ignoreAttributes")).toMap();

    if (const int32_t status = openSMARTInterface())
        return status;
    if (const int32_t status = sif->enableDisableOperations(true)) {
        closeSMARTInterface();
        return status;
    }

    // A page is decoded only when its read succeeded; one that failed keeps
    // what the last session read, but is not decoded again.
    AtaPages &pages = _pages;
    pages.present.fill(false);
    if (!identifySkipped(model) && sif->getIdentifyData(pages.identity) == 0) {
        pages.present[AtaPages::Identity] = true;
        if (identifyPageValid(pages.identity))
            qCInfo(lcSession, "bsd: %s identity validated", qUtf8Printable(bsdName));
    }

    bool exceeded = false;
    _smartDataStatus = sif->readData(pages.smartData);
    if (_smartDataStatus == 0) {
        pages.present[AtaPages::SmartData] = true;
        // A page the seam can't validate is one nobody filled in: zeros.
        if (!smartDataValid(pages.smartData) || sif->validateReadData(pages.smartData) != 0) {
            pages.smartData.fill(0);
        } else {
            if (sif->returnStatus(exceeded) != 0)
                exceeded = false;
            pages.present[AtaPages::Thresholds] = sif->readDataThresholds(pages.smartThresh) == 0;
            for (const AtaPageFile &log : kAtaPageFiles) {
                if (log.logAddress >= 0)
                    pages.present[log.kind] = sif->readLogAtAddress(uint8_t(log.logAddress), pages.page(log.kind)) == 0;
            }
            if (pages.has(AtaPages::LogDirectory))
                qCInfo(lcSession, "logdir[0]  version: %d", int(le16(pages.logDirectory, 0)));
        }
    }
    _driveProperties = decodeAtaDrive(pages, _driveProperties, driveDatabase(), ignore, exceeded);

    sif->enableDisableOperations(false);
    closeSMARTInterface();
    return 0;
}

PowerMode THSMARTDevice::checkPowerMode()
{
    if (timer || openSMARTInterface())
        return PowerMode::Unknown;
    uint8_t count = 0;
    const int32_t status = sif->checkPowerMode(count);
    closeSMARTInterface();
    return powerModeOf(status, count);
}

int32_t THSMARTDevice::startAtaTest(bool extended, unsigned &minutes)
{
    if (const int32_t status = openSMARTInterface())
        return status;
    minutes = selfTestPollingMinutes(_pages.smartData, extended);
    const int32_t status = sif->enableDisableOperations(true);
    return status ? status : sif->executeOffLineImmediate(extended);
}

int32_t THSMARTDevice::startNvmeTest(bool extended, unsigned &minutes)
{
    int32_t status = 0;
    if (_nvmeOpener)
        nif = _nvmeOpener(prop(_driveProperties, "bsdName"), status);
    if (!nif)
        return status ? status : kStatusNoDevice;
    // The times the last read offered (Identify's EDSTT for the extended test).
    const QString name = extended ? QStringLiteral("Extended") : QStringLiteral("Short");
    for (const QVariant &offer : _driveProperties.value(QStringLiteral("selftests")).toList()) {
        if (offer.toMap().value(QStringLiteral("name")).toString() == name)
            minutes = offer.toMap().value(QStringLiteral("pollingTime")).toUInt();
    }
    return nif->deviceSelfTest(extended ? nvme::kSelfTestExtended : nvme::kSelfTestShort, nvme::kNsidAll);
}

int32_t THSMARTDevice::startTest(const QString &type)
{
    if (timer)
        return 0; // one test is followed at a time

    const bool extended = type == QLatin1String("Extended");
    unsigned minutes = 0;
    // A drive that refuses the test would otherwise be followed through the
    // status of its previous test and reported as passed.
    if (const int32_t status = isNVMe() ? startNvmeTest(extended, minutes) : startAtaTest(extended, minutes)) {
        closeSMARTInterface();
        return status;
    }
    _testElapsed = 0;
    _testExpected = double(minutes) * 60.0;
    _testState = {0, true, false};
    _driveProperties.insert(QStringLiteral("tip"), true);

    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &THSMARTDevice::selfTestTick);
    // The first tick comes at once, the others once a second.
    timer->start(0);
    return 0;
}

int32_t THSMARTDevice::readAtaTestState(QString &text)
{
    const int32_t readStatus = sif ? sif->readData(_pages.smartData) : kStatusNoDevice;
    const unsigned status = _pages.smartData[smartdata::kSelfTestStatus] >> 4;
    const unsigned remaining = _pages.smartData[smartdata::kSelfTestStatus] & 0x0F;
    _testState = {100 - 10 * int(remaining), status == smartdata::kStatusInProgress, status == 0};
    text = selfTestStatusText(status);
    return readStatus;
}

int32_t THSMARTDevice::readNvmeTestState(QString &text)
{
    std::vector<uint8_t> page(kNvmeSelfTestLogSize, 0);
    const int32_t readStatus =
        nif ? nif->getLogPage(nvme::kLogSelfTest, page, uint32_t(kNvmeSelfTestLogSize / 4)) : kStatusNoDevice;
    // A failed read says nothing about the test: it still runs as far as we know.
    if (readStatus) {
        text = selfTestStatusText(smartdata::kStatusInProgress);
        return readStatus;
    }
    const QVariantMap log = nvmeSelfTestLog(page);
    if (log.value(QStringLiteral("selfTestOperation")).toUInt() != 0) {
        _testState = {int(log.value(QStringLiteral("selfTestCompletion")).toUInt()), true, false};
        text = selfTestStatusText(smartdata::kStatusInProgress);
        return readStatus;
    }
    // Done: the newest result is this test's.
    const QVariantList results = log.value(QStringLiteral("nvmeSelfTestResults")).toList();
    const QVariantMap newest = results.value(0).toMap();
    const bool known = !results.isEmpty();
    _testState = {100, false, known && newest.value(QStringLiteral("result")).toUInt() == 0};
    text = known ? newest.value(QStringLiteral("resultText")).toString() : QStringLiteral("No result logged");
    return readStatus;
}

void THSMARTDevice::selfTestTick()
{
    if (!timer)
        return;
    timer->setInterval(tickInterval());
    _testElapsed += 1;
    QString text;
    const int32_t readStatus = isNVMe() ? readNvmeTestState(text) : readAtaTestState(text);
    // A drive that went away will never report an end: stop following it.
    if (isNoDeviceStatus(readStatus)) {
        endSelfTest();
        return;
    }
    // T = 0 gives inf / NaN progress, which is what the numbers are; the tick
    // logic does not depend on them.
    mergeProperties({{QStringLiteral("test_status"), QStringLiteral("%1 %2%").arg(text).arg(_testState.percent)},
                     {QStringLiteral("test_elapsed"), _testElapsed},
                     {QStringLiteral("test_remaining"), _testExpected - _testElapsed},
                     {QStringLiteral("test_progress"), _testElapsed * 100.0 / _testExpected}});
    if (!_testState.running)
        endSelfTest();
}

const DriveDatabase &THSMARTDevice::driveDatabase()
{
    // A front end that set none gets the process-wide database file.
    if (!_database)
        _database = THSmartDeviceDatabase::database();
    return *_database;
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
    const int32_t status = nif   ? nif->deviceSelfTest(nvme::kSelfTestAbort, nvme::kNsidAll)
                           : sif ? sif->abortSelfTest()
                                 : kStatusNoDevice;
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
        if (sif->readLogAtAddress(6, _pages.testLog) == 0)
            mergeProperties(selftestLog(_pages.testLog));
        sif->enableDisableOperations(false);
    }
    if (nif) {
        std::vector<uint8_t> page(kNvmeSelfTestLogSize, 0);
        if (nif->getLogPage(nvme::kLogSelfTest, page, uint32_t(kNvmeSelfTestLogSize / 4)) == 0)
            mergeProperties(nvmeSelfTestLog(page));
    }
    _driveProperties.insert(QStringLiteral("tip"), false);
    closeSMARTInterface();
    notifyEndOfTest();
}

} // namespace corvane
