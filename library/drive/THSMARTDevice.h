// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <array>
#include <cstdint>
#include <memory>
#include <span>

class QTimer;

namespace corvane {

using Page = std::array<uint8_t, 512>;

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

    // Weak and untyped: any QObject with an invokable endOfTest() slot.
    QObject *delegate() const { return _delegate.data(); }
    void setDelegate(QObject *delegate) { _delegate = delegate; }
    void notifyEndOfTest();

    // The SMART-capable registry entry that sessions open; 0 when none.
    uint32_t smart_service = 0;
    // Present only while a self-test is being followed.
    QTimer *timer = nullptr;

    Page identity{};
    Page smartData{};
    Page smartThresh{};
    Page testLog{};
    Page errorLog{};
    Page logDirectory{};

Q_SIGNALS:
    void endOfTest();

private:
    QVariantMap _driveProperties;
    QPointer<QObject> _delegate;
};

// The self-test execution status texts, indexed by the high nibble of the
// self-test status byte (SMART data byte 363).
QString selfTestStatusText(unsigned nibble);

} // namespace corvane
