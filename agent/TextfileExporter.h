// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariantMap>

namespace corvane {

class SharedDefaults;

// Writes the drives of every gather as Prometheus metrics to corvane.prom in
// node_exporter's textfile-collector folder. The file is replaced whole, so
// the collector never reads a partial one. The folder is the one given on
// the command line, else the "textfileDirectory" setting; without either
// nothing is written.
class TextfileExporter : public QObject
{
    Q_OBJECT
public:
    TextfileExporter(SharedDefaults &defaults, QString commandLineFolder = {}, QObject *parent = nullptr);

    QString folder() const;

    // Read errors count up across gathers, as Prometheus counters do.
    // False when a folder is set and the file could not be replaced.
    bool write(const QList<QVariantMap> &drives);

private:
    SharedDefaults &_defaults;
    QString _commandLineFolder;
    QMap<QPair<QString, QString>, quint64> _readErrors;
    QString _lastFailure;
};

} // namespace corvane
