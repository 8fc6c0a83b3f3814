// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryWriter.h"

#include "history/HistoryDatabase.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHistoryWriter, "corvane.agent.history")

namespace corvane {

HistoryWriter::HistoryWriter(QString path, QObject *parent)
    : QObject(parent), _path(std::move(path)), _clock([] { return QDateTime::currentDateTimeUtc(); })
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
    if (_db && _db->isOpen())
        return true;
    // Opened again at a later gather when it failed: the disk may have room by then.
    _db = std::make_unique<HistoryDatabase>(_path);
    QString error;
    if (_db->open(&error))
        return true;
    fail(error);
    return false;
}

bool HistoryWriter::write(const QList<QVariantMap> &drives)
{
    const QDateTime now = _clock();
    QList<HistorySample> samples;
    for (const QVariantMap &properties : drives) {
        if (properties.value(QStringLiteral("asleep")).toBool())
            continue;
        if (std::optional<HistorySample> s = historySampleFromProperties(properties, now))
            samples << *s;
    }
    if (samples.isEmpty())
        return true;
    if (!ensureOpen())
        return false;
    if (!_db->append(samples)) {
        fail(_db->lastError());
        _db.reset();
        return false;
    }
    if (!_lastFailure.isEmpty())
        qCInfo(lcHistoryWriter).noquote() << "The drive history is recorded again in" << _path;
    _lastFailure.clear();
    return true;
}

} // namespace corvane
