// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextfileExporter.h"

#include "metrics/PrometheusExposition.h"
#include "platform/SharedDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcTextfile, "corvane.agent.textfile")

namespace corvane {

TextfileExporter::TextfileExporter(SharedDefaults &defaults, QString commandLineFolder, QObject *parent)
    : QObject(parent), _defaults(defaults), _commandLineFolder(std::move(commandLineFolder))
{
}

QString TextfileExporter::folder() const
{
    if (!_commandLineFolder.isEmpty())
        return _commandLineFolder;
    return _defaults.value(QLatin1String(kTextfileDirectoryKey)).toString();
}

bool TextfileExporter::write(const QList<QVariantMap> &drives)
{
    const QString dir = folder();
    if (dir.isEmpty())
        return true;
    for (const ReadErrorCount &e : readErrorsOf(drives))
        _readErrors[{e.device, e.reason}] += e.count;
    QList<ReadErrorCount> errors;
    for (auto it = _readErrors.cbegin(); it != _readErrors.cend(); ++it)
        errors.append({it.key().first, it.key().second, it.value()});
    const QByteArray text = prometheusExposition(drives, double(QDateTime::currentMSecsSinceEpoch()) / 1000.0,
                                                 errors, driveDatabaseFamily);

    // QSaveFile writes a temporary name in the same folder (not *.prom, so the
    // collector skips it) and renames it over the old file.
    QSaveFile file(QDir(dir).filePath(QLatin1String(kTextfileName)));
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit()) {
        if (!_lastFailure.isEmpty())
            qCInfo(lcTextfile).noquote() << "Writing" << file.fileName() << "works again";
        _lastFailure.clear();
        return true;
    }
    // Said once per cause, not at every gather.
    const QString failure = file.fileName() + QStringLiteral(": ") + file.errorString();
    if (failure != _lastFailure)
        qCWarning(lcTextfile).noquote() << "Cannot write the Prometheus textfile" << failure;
    _lastFailure = failure;
    return false;
}

} // namespace corvane
