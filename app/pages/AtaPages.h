// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The detail pages of an ATA drive ("sata"), in tab order with their tags.
#include "pages/PageKit.h"

namespace corvane::app {

class SelfTestPanel;

class AtaInformationPage : public FormPage
{
    Q_OBJECT
public:
    explicit AtaInformationPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;

private:
    QLabel *_logo;
};

class AtaAttributesPage : public TablePage
{
    Q_OBJECT
public:
    explicit AtaAttributesPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

class AtaCapabilitiesPage : public FormPage
{
    Q_OBJECT
public:
    explicit AtaCapabilitiesPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

class AtaErrorLogPage : public TablePage
{
    Q_OBJECT
public:
    explicit AtaErrorLogPage(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
};

// The self-test controls (shared by every ATA drive) above the drive's log.
class AtaSelfTestPage : public DrivePage
{
    Q_OBJECT
public:
    // `panel` null: a page for print, without controls.
    AtaSelfTestPage(SelfTestPanel *panel, QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
    void setPrintLayout(bool on) override;
    QList<int> breakPoints() const override { return tableBreaks(_log); }
    DataTable *log() const { return _log; }

private:
    SelfTestPanel *_panel;
    QLabel *_offers;
    DataTable *_log;
};

} // namespace corvane::app
