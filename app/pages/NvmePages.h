// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The detail pages of an NVMe drive ("nvme"), in tab order with their tags.
#include "pages/PageKit.h"

class QLabel;

namespace corvane::app {

class SelfTestPanel;

class NvmeInformationPage : public FormPage
{
    Q_OBJECT
public:
    explicit NvmeInformationPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

class NvmeHealthPage : public FormPage
{
    Q_OBJECT
public:
    explicit NvmeHealthPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

class NvmePowerStatesPage : public TablePage
{
    Q_OBJECT
public:
    explicit NvmePowerStatesPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

class NvmeFirmwareSlotsPage : public TablePage
{
    Q_OBJECT
public:
    explicit NvmeFirmwareSlotsPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

class NvmeErrorLogPage : public TablePage
{
    Q_OBJECT
public:
    explicit NvmeErrorLogPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

// The Device Self-test log and, on screen, the self-test controls, which it
// shares with the ATA Self-Tests page (whichever shows a drive holds them).
class NvmeSelfTestsPage : public TablePage
{
    Q_OBJECT
public:
    // `panel` null: a page for print, without controls.
    explicit NvmeSelfTestsPage(SelfTestPanel *panel, QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;

private:
    SelfTestPanel *_panel;
    QLabel *_offers;
};

} // namespace corvane::app
