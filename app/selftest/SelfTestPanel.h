// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The self-test controls: pick one of the drive's offered tests, start it,
// follow its progress, abort it. One test is followed at a time; the drive
// under test stays the same while the selection moves to other drives.
#include "browser/DriveEntry.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace corvane::app {

class SelfTestPanel : public QWidget
{
    Q_OBJECT
public:
    explicit SelfTestPanel(QWidget *parent = nullptr);

    // The selected drive, whose offers the pop-up lists while no test runs.
    void showDrive(const DriveEntry &entry);
    void clearDrive();
    // "startTest:": the selected test on the shown drive.
    void startTest();
    // "stopTest:": aborts the test on the drive and stops following it.
    void stopTest();
    bool testInProgress() const { return _inProgress; }
    std::shared_ptr<THSMARTDevice> deviceUnderTest() const { return _dut; }

    QComboBox *testSelection() const { return _tests; }
    QPushButton *startButton() const { return _start; }
    QPushButton *abortButton() const { return _abort; }
    QProgressBar *progress() const { return _progress; }
    QLabel *statusText() const { return _status; }
    QLabel *message() const { return _message; }

public Q_SLOTS:
    // The session's end message; only "endoftest" counts.
    void endOfTest(const QString &what);

Q_SIGNALS:
    void testInProgressChanged(bool running);
    // The test on this drive ended: its log has changed.
    void testEnded(const QString &bsdName);

private:
    void setRunning(bool running);
    void idleControls();
    void refresh();

    std::shared_ptr<THSMARTDevice> _shown;
    std::shared_ptr<THSMARTDevice> _dut;
    QVariantList _offers;
    bool _inProgress = false;
    QTimer _refresh;
    QComboBox *_tests;
    QPushButton *_start;
    QPushButton *_abort;
    QProgressBar *_progress;
    QLabel *_statusLabel;
    QLabel *_status;
    QLabel *_remaining;
    QLabel *_message;
};

} // namespace corvane::app
