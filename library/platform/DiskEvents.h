// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole-disk arrival and removal. The Linux implementation watches udev's
// block "disk" events; tests script the events themselves.
#include <QObject>
#include <QString>
#include <memory>

namespace corvane {

class DiskEvents : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~DiskEvents() override = default;

Q_SIGNALS:
    // `arrived` is false for a removal; the kernel name ("sdb").
    void diskChanged(bool arrived, const QString &kernelName);
};

// This machine's events (a udev monitor); null with *error set when udev
// can't be watched, so the caller can say that the list won't follow changes.
std::unique_ptr<DiskEvents> systemDiskEvents(QString *error);

// Events a test or a recorded session sends itself.
class ScriptedDiskEvents : public DiskEvents
{
    Q_OBJECT
public:
    using DiskEvents::DiskEvents;
    void arrive(const QString &kernelName) { Q_EMIT diskChanged(true, kernelName); }
    void remove(const QString &kernelName) { Q_EMIT diskChanged(false, kernelName); }
};

} // namespace corvane
