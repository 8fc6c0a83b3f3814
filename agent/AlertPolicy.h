// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When a drive in trouble is worth an alert: only when it says something new.
#include "history/HistoryDatabase.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <chrono>
#include <optional>

namespace corvane {

// Where the per-drive alert memory lives; the agent keeps it in the history
// database so it outlasts a restart.
class AlertMemoryStore
{
public:
    virtual ~AlertMemoryStore() = default;
    virtual std::optional<AlertMemory> alertMemory(const QString &drive) const = 0;
    virtual bool setAlertMemory(const QString &drive, const AlertMemory &memory) = 0;
};

// The memory of this process only: for when the history can't be opened.
class MemoryAlertStore : public AlertMemoryStore
{
public:
    std::optional<AlertMemory> alertMemory(const QString &drive) const override
    {
        const auto it = _memory.constFind(drive);
        return it == _memory.cend() ? std::nullopt : std::optional<AlertMemory>(*it);
    }
    bool setAlertMemory(const QString &drive, const AlertMemory &memory) override
    {
        _memory.insert(drive, memory);
        return true;
    }

private:
    QHash<QString, AlertMemory> _memory;
};

class HistoryAlertStore : public AlertMemoryStore
{
public:
    explicit HistoryAlertStore(HistoryDatabase &database) : _database(database) {}
    std::optional<AlertMemory> alertMemory(const QString &drive) const override { return _database.alertMemory(drive); }
    bool setAlertMemory(const QString &drive, const AlertMemory &memory) override
    {
        return _database.setAlertMemory(drive, memory);
    }

private:
    HistoryDatabase &_database;
};

// The counters whose growth means more damage on the medium or the link.
// Wear and temperature are not among them: they change on healthy drives.
QStringList alertCounterKeys();

// The counters of a history sample that alerts compare, by key.
QVariantMap alertCounters(const HistorySample &sample);

// Passed 0 < Warning 1 < Failed 2; -1 for "-" and anything else.
int healthRank(const QString &health);

struct AlertDecision
{
    bool alert = false;
    // The memory to store; nullopt when the stored one stays as it is.
    std::optional<AlertMemory> memory;
};

// One drive on a gather that may alert. Only "Warning" and "Failed" drives
// alert: the first time, when the health got worse, when one of
// alertCounterKeys() grew, or when `reminder` (non-zero) has passed since
// the last alert. A silenced drive ("Don't remind me") gets no reminders,
// but a worse health or a growing counter is news and ends the silence.
// A drive that improves is remembered at its better health, so getting worse
// again alerts; "-" (no verdict) changes nothing.
AlertDecision decideAlert(const QString &health, const QVariantMap &counters, const std::optional<AlertMemory> &memory,
                          const QDateTime &now, std::chrono::hours reminder);

bool operator==(const AlertMemory &a, const AlertMemory &b);

} // namespace corvane
