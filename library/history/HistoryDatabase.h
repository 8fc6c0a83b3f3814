// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive history: one SQLite file (Qt SQL) in the programs' data folder.
// The agent appends a sample per drive after every gather and keeps the alert
// memory here, so both survive restarts; the main window and corvanectl read.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>

namespace corvane {

// programDataDir()/history.sqlite
QString historyDatabasePath();

// A drive keeps its history when its kernel name changes: it is known by
// serial number and model ("<model>|<serial>").
QString driveIdentity(const QVariantMap &properties);

// One row: what a gather read of one drive. Absent values were not reported.
struct HistorySample
{
    QDateTime time;       // UTC
    QString drive;        // driveIdentity()
    QString bsdName;      // the kernel name at that time
    QString health;       // "Passed", "Warning", "Failed" or "-"
    std::optional<qint64> temperature;           // °C
    std::optional<qint64> powerOnHours;
    std::optional<qint64> reallocated;           // ATA 5
    std::optional<qint64> pending;               // ATA 197
    std::optional<qint64> offlineUncorrectable;  // ATA 198
    std::optional<qint64> crcErrors;             // ATA 199
    std::optional<qint64> percentageUsed;        // NVMe
    std::optional<qint64> availableSpare;        // NVMe
    std::optional<qint64> mediaErrors;           // NVMe
    std::optional<qint64> unsafeShutdowns;       // NVMe
};

// The counters a sample carries, by stable key ("reallocated", "pending",
// "offlineUncorrectable", "crcErrors", "mediaErrors", ...), and their labels.
QStringList historyCounterKeys();
std::optional<qint64> counterValue(const HistorySample &sample, const QString &key);
// Every value a sample carries, counters and gauges ("temperature",
// "powerOnHours", "availableSpare"), in display order; counterValue() reads
// each of them. A label ("Reallocated sectors") and a unit ("°C", "%", "h",
// "" for counts) per key.
QStringList historyValueKeys();
QString historyValueLabel(const QString &key);
QString historyValueUnit(const QString &key);

// The sample of a drive's properties (as a gather produced them); nullopt for a
// drive without an identity (no serial and no model).
std::optional<HistorySample> historySampleFromProperties(const QVariantMap &properties,
                                                         const QDateTime &time);

// Per drive, what the last alert said (the agent's alert memory).
struct AlertMemory
{
    QString health;                  // health at the last alert
    QVariantMap counters;            // counter key -> value at the last alert
    QDateTime lastAlert;             // UTC; invalid when never alerted
    bool silenced = false;           // "Don't remind me" until it gets worse
};

class HistoryDatabase
{
public:
    enum class Access { ReadWrite, ReadOnly };
    struct Limits
    {
        int fullDays = 30;                    // every row kept this long
        qint64 maxBytes = 4 * 1024 * 1024;    // hard cap on the file
    };

    explicit HistoryDatabase(QString path = historyDatabasePath(), Access access = Access::ReadWrite);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase &) = delete;
    HistoryDatabase &operator=(const HistoryDatabase &) = delete;

    // Opens (creating and migrating read-write); a file that is not a database
    // of ours is moved aside once ("<name>.corrupt-<time>") and a new one
    // started. False with a message when it can't be opened at all.
    bool open(QString *error = nullptr);
    bool isOpen() const;
    QString path() const;
    // Why the last open() or write failed; empty after success.
    QString lastError() const;
    // The schema this build writes; PRAGMA user_version of the file.
    static int schemaVersion();

    // One transaction for a gather's samples, then retention (thinning older
    // rows to one per drive and day, the size cap).
    bool append(const QList<HistorySample> &samples);
    void setLimits(Limits limits);

    // The drives with history, most recently seen first.
    QStringList drives() const;
    // A drive's samples since `since` (invalid: all), oldest first; `drive` is
    // an identity or a kernel name (the identity last seen under that name).
    QList<HistorySample> series(const QString &drive, const QDateTime &since = {}) const;
    // The drive's newest sample alone (what a summary needs); nullopt without one.
    std::optional<HistorySample> latest(const QString &drive) const;
    // How much a counter grew over the last `days` before the drive's newest
    // sample; nullopt without two samples or that counter.
    std::optional<qint64> growth(const QString &drive, const QString &counterKey, int days) const;

    std::optional<AlertMemory> alertMemory(const QString &drive) const;
    bool setAlertMemory(const QString &drive, const AlertMemory &memory);

private:
    QList<HistorySample> samples(const QString &drive, const QDateTime &since, bool newestOnly) const;

    struct Private;
    Private *d;
};

} // namespace corvane
