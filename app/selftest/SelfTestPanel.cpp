// SPDX-License-Identifier: GPL-3.0-or-later
#include "selftest/SelfTestPanel.h"

#include "display/DisplayFormats.h"
#include "platform/DeviceStatus.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace corvane::app {

SelfTestPanel::SelfTestPanel(QWidget *parent) : QWidget(parent)
{
    _tests = new QComboBox(this);
    _tests->setAccessibleName(QStringLiteral("Self-test"));
    _start = new QPushButton(QStringLiteral("&Start Test"), this);
    _abort = new QPushButton(QStringLiteral("&Abort Test"), this);
    _progress = new QProgressBar(this);
    _progress->setRange(0, 100);
    _progress->setValue(0);
    _progress->setAccessibleName(QStringLiteral("Self-test progress"));
    _statusLabel = new QLabel(QStringLiteral("Status:"), this);
    _status = new QLabel(this);
    _statusLabel->setBuddy(_status);
    _remaining = new QLabel(this);
    _remaining->setAccessibleName(QStringLiteral("Time remaining"));
    _message = new QLabel(this);
    _message->setWordWrap(true);
    _message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *testLabel = new QLabel(QStringLiteral("&Test:"), this);
    testLabel->setBuddy(_tests);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(testLabel, 0, 0);
    grid->addWidget(_tests, 0, 1);
    grid->addWidget(_start, 0, 2);
    grid->addWidget(_abort, 0, 3);
    grid->addWidget(_progress, 1, 0, 1, 3);
    grid->addWidget(_remaining, 1, 3);
    grid->addWidget(_statusLabel, 2, 0);
    grid->addWidget(_status, 2, 1, 1, 3);
    grid->addWidget(_message, 3, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    setTabOrder(_tests, _start);
    setTabOrder(_start, _abort);

    _statusLabel->hide();
    _status->hide();
    _message->hide();
    connect(_start, &QPushButton::clicked, this, &SelfTestPanel::startTest);
    connect(_abort, &QPushButton::clicked, this, &SelfTestPanel::stopTest);
    _refresh.setInterval(250);
    connect(&_refresh, &QTimer::timeout, this, &SelfTestPanel::refresh);
    idleControls();
}

void SelfTestPanel::showDrive(const DriveEntry &entry)
{
    _shown = entry.device;
    _offers = entry.properties().value(QStringLiteral("selftests")).toList();
    if (!_inProgress)
        idleControls();
}

void SelfTestPanel::clearDrive()
{
    _shown.reset();
    _offers.clear();
    if (!_inProgress)
        idleControls();
}

void SelfTestPanel::idleControls()
{
    _tests->clear();
    for (const QVariant &offer : std::as_const(_offers)) {
        const QVariantMap m = offer.toMap();
        _tests->addItem(QStringLiteral("%1 (about %2)")
                            .arg(m.value(QStringLiteral("displayName")).toString(),
                                 m.value(QStringLiteral("timeToComplete")).toString().trimmed()));
    }
    const bool offered = _shown && !_offers.isEmpty();
    _tests->setEnabled(offered);
    _start->setEnabled(offered);
    _abort->setEnabled(false);
}

void SelfTestPanel::setRunning(bool running)
{
    _inProgress = running;
    _start->setEnabled(!running);
    _abort->setEnabled(running);
    _tests->setEnabled(!running);
    if (running)
        _refresh.start();
    else
        _refresh.stop();
    Q_EMIT testInProgressChanged(running);
}

void SelfTestPanel::startTest()
{
    if (_inProgress || !_shown || _offers.isEmpty() || _tests->currentIndex() < 0)
        return;
    const QString name = _offers.value(_tests->currentIndex()).toMap().value(QStringLiteral("name")).toString();
    _dut = _shown;
    _statusLabel->show();
    _status->show();
    _status->setText(QStringLiteral("Starting…"));
    _message->hide();
    _progress->setRange(0, 100);
    _progress->setValue(0);
    _remaining->clear();
    connect(_dut.get(), &THSMARTDevice::endOfTest, this, &SelfTestPanel::endOfTest, Qt::UniqueConnection);
    setRunning(true);
    const int32_t status = _dut->startTest(name);
    if (status == 0)
        return;
    // No end will ever come: say why and give the controls back.
    disconnect(_dut.get(), &THSMARTDevice::endOfTest, this, &SelfTestPanel::endOfTest);
    _status->setText(QStringLiteral("Not started"));
    _message->setText(QStringLiteral("The self-test could not be started on %1: %2")
                          .arg(_dut->driveProperties().value(QStringLiteral("bsdName")).toString(),
                               statusUserMessage(status)));
    _message->show();
    setRunning(false);
    idleControls();
}

void SelfTestPanel::stopTest()
{
    if (!_inProgress || !_dut)
        return;
    const std::shared_ptr<THSMARTDevice> device = _dut;
    const int32_t status = device->stopSelfTest();
    if (status) {
        _message->setText(QStringLiteral("The drive did not confirm the abort (%1); it may still be testing.")
                              .arg(statusUserMessage(status)));
        _message->show();
    }
    // A session that ended without telling (it never does today) must not
    // leave the controls running.
    if (_inProgress)
        endOfTest(QStringLiteral("endoftest"));
}

void SelfTestPanel::endOfTest(const QString &what)
{
    if (what != QLatin1String("endoftest") || !_inProgress)
        return;
    refresh();
    _progress->setValue(100);
    _remaining->clear();
    setRunning(false);
    idleControls();
    Q_EMIT testEnded(_dut ? _dut->driveProperties().value(QStringLiteral("bsdName")).toString() : QString());
}

void SelfTestPanel::refresh()
{
    if (!_dut)
        return;
    const QVariantMap &p = _dut->driveProperties();
    if (p.contains(QStringLiteral("test_status")))
        _status->setText(QStringLiteral("%1: %2").arg(p.value(QStringLiteral("bsdName")).toString(),
                                                      p.value(QStringLiteral("test_status")).toString()));
    const double progress = p.value(QStringLiteral("test_progress")).toDouble();
    if (std::isfinite(progress))
        _progress->setValue(int(std::clamp(progress, 0.0, 100.0)));
    if (p.contains(QStringLiteral("test_remaining")))
        _remaining->setText(display::todXfmr(qint64(p.value(QStringLiteral("test_remaining")).toDouble())));
}

} // namespace corvane::app
