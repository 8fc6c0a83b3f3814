// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The detail pages of an NVMe drive ("nvme"), in tab order with their tags.
#include "pages/PageKit.h"

namespace corvane::app {

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

} // namespace corvane::app
