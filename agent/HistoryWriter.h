// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>

namespace corvane {

class HistoryDatabase;

// Appends one history sample per drive after every gather. Drives the gather
// did not read because they sleep ("asleep": true) get none. A history that
// can't be opened or written costs one log line per cause; gathers go on.
class HistoryWriter : public QObject
{
    Q_OBJECT
public:
    explicit HistoryWriter(QString path, QObject *parent = nullptr);
    ~HistoryWriter() override;

    // Tests and benchmarks set the gather's time.
    void setClock(std::function<QDateTime()> clock) { _clock = std::move(clock); }

    // False when nothing could be written (already logged).
    bool write(const QList<QVariantMap> &drives);

private:
    bool ensureOpen();
    void fail(const QString &why);

    QString _path;
    std::unique_ptr<HistoryDatabase> _db;
    std::function<QDateTime()> _clock;
    QString _lastFailure;
};

} // namespace corvane
