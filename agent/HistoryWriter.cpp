// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryWriter.h"

#include "drive/PowerMode.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHistoryWriter, "corvane.agent.history")

namespace corvane {

GatherSamples gatherSamples(const QList<QVariantMap> &drives, const QDateTime &time)
{
    GatherSamples samples;
    samples.perDrive.reserve(drives.size());
    for (const QVariantMap &properties : drives) {
        std::optional<HistorySample> s = historySampleFromProperties(properties, time);
        if (s && !properties.value(QLatin1String(kAsleepKey)).toBool())
            samples.read << *s;
        samples.perDrive << std::move(s);
    }
    return samples;
}

HistoryWriter::HistoryWriter(QString path, QObject *parent)
    : QObject(parent), _db(std::move(path))
{
}

HistoryWriter::~HistoryWriter() = default;

void HistoryWriter::fail(const QString &why)
{
    if (why != _lastFailure)
        qCWarning(lcHistoryWriter).noquote() << "The drive history is not recorded:" << why;
    _lastFailure = why;
}

bool HistoryWriter::ensureOpen()
{
    if (_db.isOpen() && !_reopen)
        return true;
    // Opened again at a later gather when it failed: the disk may have room by then.
    _reopen = false;
    QString error;
    if (_db.open(&error))
        return true;
    fail(error);
    return false;
}

bool HistoryWriter::append(const QList<HistorySample> &samples)
{
    if (samples.isEmpty())
        return true;
    if (!ensureOpen())
        return false;
    if (!_db.append(samples)) {
        fail(_db.lastError());
        _reopen = true;
        return false;
    }
    if (!_lastFailure.isEmpty())
        qCInfo(lcHistoryWriter).noquote() << "The drive history is recorded again in" << _db.path();
    _lastFailure.clear();
    return true;
}

} // namespace corvane
