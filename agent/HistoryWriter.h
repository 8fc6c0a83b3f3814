// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "history/HistoryDatabase.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <optional>

namespace corvane {

// A gather's history samples, built once at `time`: one per drive (nullopt
// without an identity), which the alerts compare, and those of the drives the
// gather read, which the history keeps. A drive asleep ("asleep": true)
// repeats its last read: it is in the first list only.
struct GatherSamples
{
    QList<std::optional<HistorySample>> perDrive;
    QList<HistorySample> read;
};
GatherSamples gatherSamples(const QList<QVariantMap> &drives, const QDateTime &time);

// Appends a gather's samples to the history. Its database is the agent's one
// connection to the file: the alert memory lives there too. A history that
// can't be opened or written costs one log line per cause; gathers go on.
class HistoryWriter : public QObject
{
    Q_OBJECT
public:
    explicit HistoryWriter(QString path, QObject *parent = nullptr);
    ~HistoryWriter() override;

    HistoryDatabase &database() { return _db; }

    // False when nothing could be written (already logged).
    bool append(const QList<HistorySample> &samples);

private:
    bool ensureOpen();
    void fail(const QString &why);

    HistoryDatabase _db;
    // A failed write opens the file again at the next gather.
    bool _reopen = false;
    QString _lastFailure;
};

} // namespace corvane
