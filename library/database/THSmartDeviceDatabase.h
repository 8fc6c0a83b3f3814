// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "database/DriveDatabase.h"

#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <memory>

namespace corvane {

// The process-wide drive database (drivedb.h). All operations are static;
// the one instance exists only to carry the databaseUpdated() signal, and
// lives in the main thread so that the signal is delivered there whichever
// thread parsed.
class THSmartDeviceDatabase : public QObject
{
    Q_OBJECT
public:
    static THSmartDeviceDatabase *instance();

    // The database dictionary ("line", "version", "build", "date",
    // "datebuild", "drives"); parses on first use, empty when no file exists.
    static QVariantMap driveDatabase();
    // The parsed database with its compiled patterns, for the attribute pass.
    static std::shared_ptr<const DriveDatabase> database();

    // (Re)parses the database file. True when it could be read as UTF-8 text,
    // even if no entry was recognised; posts databaseUpdated() then.
    static bool unpackDriveDBFile();
    // Parses again when the file that would be parsed now is another one, or
    // was replaced or changed since the last parse (the main application's
    // update replaces it). True when it parsed. Cheap: one stat().
    static bool reloadIfChanged();

    static const QVariantMap &fmtDict() { return DriveDatabase::fmtDict(); }

    // The first entry whose patterns match, or an empty map.
    static QVariantMap lookupDriveModel(const QString &model, const QString &firmwareVersion);

    // Where the database is written by an update: <group container>/drivedb.h.
    static QString dbPath();
    // The file that is parsed: dbPath() when it exists, else the newest copy
    // smartmontools ships (read-only), else dbPath().
    static QString sourcePath();
    // The read-only copies that smartmontools installs; tests replace the list.
    static QStringList systemDatabasePaths();
    static void setSystemDatabasePaths(const QStringList &paths);
    // The revision on a file's version line: 0 when it has none, -1 when the
    // file can't be read.
    static int revisionOfFile(const QString &path);

Q_SIGNALS:
    void databaseUpdated();

private:
    THSmartDeviceDatabase();
};

} // namespace corvane
