// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drive/AtaPages.h"
#include "drive/PowerMode.h"
#include "platform/AtaSmartInterface.h"
#include "platform/NvmeInterface.h"
#include "platform/Registry.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <cstdint>
#include <memory>

class QTimer;

namespace corvane {

class DriveDatabase;

// One drive: its properties dictionary and the six pages the last SMART
// session read. The properties start as the drive settings and only grow.
class THSMARTDevice : public QObject
{
    Q_OBJECT
public:
    // A drive without its settings is meaningless; there is no plain constructor.
    THSMARTDevice() = delete;
    explicit THSMARTDevice(const QVariantMap &setting, QObject *parent = nullptr);
    ~THSMARTDevice() override;

    static std::unique_ptr<THSMARTDevice> deviceWithSetting(const QVariantMap &setting);

    QVariantMap &driveProperties() { return _driveProperties; }
    const QVariantMap &driveProperties() const { return _driveProperties; }
    // Later writers win: a decoder's value replaces the setting under the same key.
    void mergeProperties(const QVariantMap &values);

    // Weak and untyped: any QObject with an invokable endOfTest(QString) slot,
    // called once with "endoftest" when a followed self-test ends.
    QObject *delegate() const { return _delegate.data(); }
    void setDelegate(QObject *delegate) { _delegate = delegate; }
    void notifyEndOfTest();

    // --- SMART session (ATA drives; NVMe drives for self-tests) ---
    // Where the session comes from (Linux devices or a recorded set), and the
    // drive database that names the attributes; both are set by the front end
    // (DriveReader.h) before updateProperties or startTest.
    void setAtaOpener(AtaSmartOpener opener) { _opener = std::move(opener); }
    void setNvmeOpener(NvmeOpener opener) { _nvmeOpener = std::move(opener); }
    void setRegistry(std::shared_ptr<const Registry> registry) { _registry = std::move(registry); }
    void setDriveDatabase(std::shared_ptr<const DriveDatabase> database) { _database = std::move(database); }

    int32_t openSMARTInterface();
    void closeSMARTInterface();
    bool hasOpenSession() const { return sif != nullptr || nif != nullptr; }
    // Reads and decodes IDENTIFY, SMART data, thresholds and logs; the status of
    // opening the session, or 0. Refused (EBUSY) while a self-test is followed.
    int32_t updateProperties();
    // CHECK POWER MODE in a session of its own; Unknown when the drive can't
    // be opened or asked (or follows a self-test).
    PowerMode checkPowerMode();
    // Status of the SMART READ DATA of the last updateProperties (0 when the page
    // was read), so that a front end can say why a drive has no verdict.
    int32_t smartDataStatus() const { return _smartDataStatus; }
    // The pages the last session read (and a followed test refreshed).
    const AtaPages &pages() const { return _pages; }
    // "Extended" runs the extended self-test, anything else the short one; the
    // status of opening the session, or of the drive refusing the test. Progress goes to the "test_*" keys once a
    // second until the drive reports an end, then endOfTest. An ATA drive
    // reports through its SMART data page, an NVMe drive ("isNVMe") through
    // its Device Self-test log.
    int32_t startTest(const QString &type);
    // The followed test as the drive last reported it.
    struct SelfTestState
    {
        int percent = 0;      // done, 0 to 100
        bool running = false; // the drive still tests
        bool passed = false;  // ended without error
    };
    const SelfTestState &selfTestState() const { return _testState; }
    bool isFollowingTest() const { return timer != nullptr; }
    // Stops following the test (the drive keeps running it).
    void abortSelftest();
    // Aborts the followed test on the drive (EXECUTE OFF-LINE IMMEDIATE 0x7F,
    // or Device Self-test with the abort code),
    // takes its final status and log, and stops following it. The status of
    // the abort command; following stops even when the drive refused it.
    int32_t stopSelfTest();
    // Tests shorten the one-second progress interval.
    static void setSelfTestTickInterval(int milliseconds);

Q_SIGNALS:
    void endOfTest(const QString &what);

private:
    bool isNVMe() const { return _driveProperties.value(QStringLiteral("isNVMe")).toBool(); }
    int32_t startAtaTest(bool extended, unsigned &minutes);
    int32_t startNvmeTest(bool extended, unsigned &minutes);
    // Reads the drive's test state; the read's status.
    int32_t readAtaTestState(QString &text);
    int32_t readNvmeTestState(QString &text);
    void selfTestTick();
    void endSelfTest();
    const DriveDatabase &driveDatabase();

    // The session state and the pages, reached only through the operations
    // above. The open session; empty when none is open.
    std::unique_ptr<AtaSmartInterface> sif;
    // The NVMe controller while its self-test is followed.
    std::unique_ptr<NvmeInterface> nif;
    // The SMART-capable ancestor of the drive's medium; null when none.
    RegistryEntry smart_service;
    // Present only while a self-test is being followed.
    QTimer *timer = nullptr;
    // identity, smartData, smartThresh, testLog, errorLog, logDirectory.
    AtaPages _pages;
    QVariantMap _driveProperties;
    QPointer<QObject> _delegate;
    AtaSmartOpener _opener;
    NvmeOpener _nvmeOpener;
    std::shared_ptr<const Registry> _registry;
    std::shared_ptr<const DriveDatabase> _database;
    double _testElapsed = 0;
    double _testExpected = 0;
    SelfTestState _testState;
    int32_t _smartDataStatus = 0;
};

} // namespace corvane
