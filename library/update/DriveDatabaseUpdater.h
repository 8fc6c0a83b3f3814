// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class QNetworkAccessManager;
class QThread;

namespace corvane {

class Fetch;

// Where a drivedb.h can be fetched: the raw file and, optionally, a history
// page whose newest record gives the revision and date to stamp into the
// file's version line.
struct DriveDbSource
{
    QString database;
    QString commits; // "" when the source has none
    QString regex;   // group 1 the revision, group 2 the date
};

// Refreshes drivedb.h from the network without ever breaking the one in
// force: sources are tried one after another, asynchronously; a download is
// installed only when it is complete, parses with at least one entry and is
// not an older build than the installed one; the previous file is kept as
// drivedb.h.old and the new one written atomically. One refresh runs at a
// time, across processes too.
class DriveDatabaseUpdater : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Updated, AlreadyCurrent, Failed, Busy };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString build;         // the build now installed, "" when unknown
        QString source;        // the address that delivered it
        QStringList failures;  // one line per source that failed, with why
        // One sentence for the user.
        QString message() const;
    };

    explicit DriveDatabaseUpdater(QObject *parent = nullptr);
    ~DriveDatabaseUpdater() override;

    // Sources 2 to 4 (the project's repository and two mirrors), after the
    // maker's address when `makerSource` is not empty.
    static QList<DriveDbSource> defaultSources(const QString &makerSource);
    // The history-page expressions: A for the repository's log page, B for a
    // mirror's commit page linking back with `scheme`.
    static QString expressionA();
    static QString expressionB(const QString &scheme);
    // The shared-defaults key holding the maker's drivedb.h address.
    static constexpr char kMakerSourceKey[] = "driveDatabaseMakerURL";

    void setSources(const QList<DriveDbSource> &sources) { _sources = sources; }
    QList<DriveDbSource> sources() const { return _sources; }
    // Per request; 15 s unless a test injects less.
    void setTimeout(int milliseconds) { _timeoutMs = milliseconds; }

    bool isRunning() const { return _running; }
    // Starts a refresh. False (and finished() with Outcome::Busy) when one is
    // already running in this or another process.
    bool start();

    // "revision date" of the newest record of a history page, "- -" parts
    // when the record doesn't hold them; "" when the page has no record.
    static QString builddateFromCommitslog(const QString &page, const QString &regex);
    // The text with its unexpanded "VERSION: x.y $Id$" line stamped with the
    // build date and the author address; unchanged when it has no such line.
    static QByteArray stampVersion(const QByteArray &text, const QString &builddate, const QString &databaseUrl);

Q_SIGNALS:
    // Source `index` (0-based) of `count` is being tried.
    void progress(int index, int count, const QString &address);
    void finished(const DriveDatabaseUpdater::Result &result);

private:
    struct Install
    {
        QString why; // "" when installed or already current
        Outcome outcome;
        QString build;
    };
    void trySource();
    void sourceFetched();
    // Runs on a worker thread: touches files and the database, not the object.
    static Install install(const DriveDbSource &source, const QByteArray &text, const QString &builddate);
    void installed(const Install &result);
    void finish(Outcome outcome);

    QList<DriveDbSource> _sources;
    int _timeoutMs = 15000;
    bool _running = false;
    int _index = -1;
    std::unique_ptr<QNetworkAccessManager> _network;
    std::unique_ptr<QLockFile> _lock;
    QPointer<Fetch> _database, _history;
    QPointer<QThread> _worker;
    Result _result;
};

} // namespace corvane

Q_DECLARE_METATYPE(corvane::DriveDatabaseUpdater::Result)
