// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/DriveDatabaseUpdater.h"

#include "database/DriveDatabase.h"
#include "database/DriveDatabaseFile.h"
#include "database/THSmartDeviceDatabase.h"
#include "platform/Paths.h"
#include "update/Fetch.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QThread>

Q_LOGGING_CATEGORY(lcUpdateDb, "corvane.updatedb")

namespace corvane {

namespace {

const QString kRepositoryHost = QStringLiteral("https://sourceforge.net");
const QString kMirrorHost = QStringLiteral("https://github.com");
const QString kRawHost = QStringLiteral("https://raw.githubusercontent.com");
const QString kSubversionHost = QStringLiteral("svn.code.sf.net");

// Guards the process; the lock file guards against corvanectl and the window
// refreshing at the same time.
bool g_running = false;

// A download cut short mostly ends inside an entry; a whole file ends with
// the array's "};" and at most comments after it.
bool looksComplete(const QString &text)
{
    static const QRegularExpression closing(QStringLiteral(R"(\}\s*;[^{}"]*$)"));
    return closing.match(text).hasMatch();
}

} // namespace

QString DriveDatabaseUpdater::Result::message() const
{
    switch (outcome) {
    case Outcome::Updated:
        return build.isEmpty() ? QStringLiteral("Drive database updated.")
                               : QStringLiteral("Drive database updated to build %1.").arg(build);
    case Outcome::AlreadyCurrent:
        return QStringLiteral("Drive database is already current (build %1).").arg(build);
    case Outcome::Busy:
        return QStringLiteral("A drive database update is already running.");
    case Outcome::Failed:
        break;
    }
    return QStringLiteral("Drive database update failed; the database in use is unchanged.");
}

DriveDatabaseUpdater::DriveDatabaseUpdater(QObject *parent)
    : QObject(parent)
    , _sources(defaultSources(QString()))
{
}

DriveDatabaseUpdater::~DriveDatabaseUpdater()
{
    if (_worker)
        _worker->wait();
    if (_running)
        g_running = false;
}

QString DriveDatabaseUpdater::expressionA()
{
    return QStringLiteral(R"re(<tr class="rev">(?s).*<div class=.*revision="(\d{1,5})"(?s).*(\d{4}-\d{2}-\d{2}))re");
}

QString DriveDatabaseUpdater::expressionB(const QString &scheme)
{
    return QStringLiteral("git-svn-id: <a href=\"") + scheme + QStringLiteral("://") + kSubversionHost
           + QStringLiteral("/p/smartmontools")
           + QStringLiteral(R"re((?s).*@(\d{1,5})(?s).*datetime="(\d{4}-\d{2}-\d{2}))re");
}

QList<DriveDbSource> DriveDatabaseUpdater::defaultSources(const QString &makerSource)
{
    QList<DriveDbSource> sources;
    if (!makerSource.isEmpty())
        sources.append({makerSource, QString(), QString()});
    sources.append({kRepositoryHost + QStringLiteral("/p/smartmontools/code/HEAD/tree/trunk/smartmontools/drivedb.h?format=raw"),
                    kRepositoryHost + QStringLiteral("/p/smartmontools/code/HEAD/log/?path=/trunk/smartmontools/drivedb.h/"),
                    expressionA()});
    sources.append({kMirrorHost + QStringLiteral("/mirror/smartmontools/raw/master/drivedb.h"),
                    kMirrorHost + QStringLiteral("/mirror/smartmontools/commits/master/drivedb.h"),
                    expressionB(QStringLiteral("https"))});
    sources.append({kRawHost + QStringLiteral("/smartmontools/smartmontools/master/smartmontools/drivedb.h"),
                    kMirrorHost + QStringLiteral("/smartmontools/smartmontools/commits/master/smartmontools/drivedb.h"),
                    expressionB(QStringLiteral("http"))});
    return sources;
}

QString DriveDatabaseUpdater::builddateFromCommitslog(const QString &page, const QString &regex)
{
    const QString prefix = regex.section(QStringLiteral("(?s).*"), 0, 0);
    QStringView record = page;
    if (prefix != regex) {
        const qsizetype start = page.indexOf(prefix);
        if (start < 0)
            return QString();
        // The newest record runs to the next record's opening, or to the end
        // of a page that holds only one.
        const qsizetype next = page.indexOf(prefix, start + prefix.size());
        record = QStringView(page).mid(start, next < 0 ? -1 : next - start);
    }
    const QRegularExpression rx(regex, QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = rx.match(record);
    const QString build = m.hasCaptured(1) ? m.captured(1) : QStringLiteral("-");
    const QString date = m.hasCaptured(2) ? m.captured(2) : QStringLiteral("-");
    return build + u' ' + date;
}

QByteArray DriveDatabaseUpdater::stampVersion(const QByteArray &text, const QString &builddate, const QString &databaseUrl)
{
    static const QRegularExpression unexpanded(QStringLiteral(R"(VERSION: (\d{1,2}\.\d{1,2}) \$Id\$)"),
                                               QRegularExpression::CaseInsensitiveOption);
    QString all = QString::fromUtf8(text);
    const QRegularExpressionMatch m = unexpanded.match(all);
    if (!m.hasMatch())
        return text;
    const qsizetype cut = databaseUrl.indexOf(QLatin1String("smartmontools"));
    const QString author = cut < 0 ? databaseUrl : databaseUrl.left(cut + qsizetype(strlen("smartmontools")));
    all.replace(m.capturedStart(), m.capturedLength(),
                QStringLiteral("VERSION: %1 $Id: drivedb.h %2 '%3' $").arg(m.captured(1), builddate, author));
    return all.toUtf8();
}

bool DriveDatabaseUpdater::start()
{
    if (_running || g_running) {
        finish(Outcome::Busy);
        return false;
    }
    QDir().mkpath(groupContainer());
    _lock = std::make_unique<QLockFile>(THSmartDeviceDatabase::dbPath() + QStringLiteral(".lock"));
    // Stale only when its process is gone: a slow refresh may hold it for minutes.
    _lock->setStaleLockTime(0);
    if (!_lock->tryLock(0)) {
        _lock.reset();
        finish(Outcome::Busy);
        return false;
    }
    _running = g_running = true;
    _result = Result();
    _index = -1;
    if (!_network)
        _network = std::make_unique<QNetworkAccessManager>();
    trySource();
    return true;
}

void DriveDatabaseUpdater::trySource()
{
    for (++_index; _index < _sources.size() && _sources[_index].database.isEmpty(); ++_index) {
    }
    if (_index >= _sources.size()) {
        finish(Outcome::Failed);
        return;
    }
    const DriveDbSource &source = _sources[_index];
    qCInfo(lcUpdateDb, "updateDB source(%d) '%s'", _index, qPrintable(source.database));
    Q_EMIT progress(_index, int(_sources.size()), source.database);
    _database = new Fetch(*_network, QUrl(source.database), _timeoutMs, this);
    connect(_database, &Fetch::finished, this, &DriveDatabaseUpdater::sourceFetched);
    if (!source.commits.isEmpty()) {
        _history = new Fetch(*_network, QUrl(source.commits), _timeoutMs, this);
        connect(_history, &Fetch::finished, this, &DriveDatabaseUpdater::sourceFetched);
    }
}

void DriveDatabaseUpdater::sourceFetched()
{
    auto pending = [](const QPointer<Fetch> &f) { return f && f->property("done").isNull(); };
    if (Fetch *f = qobject_cast<Fetch *>(sender()))
        f->setProperty("done", true);
    if (pending(_database) || pending(_history))
        return;

    const DriveDbSource &source = _sources[_index];
    QString why;
    if (!_database->ok()) {
        why = _database->error();
    } else if (const QString type = _database->contentType();
               type != QLatin1String("text/plain") && type != QLatin1String("text/x-chdr")) {
        why = QStringLiteral("content type '%1' is not a text file").arg(type);
    } else if (_database->suggestedFileName() != QLatin1String("drivedb.h")) {
        why = QStringLiteral("file name '%1' is not drivedb.h").arg(_database->suggestedFileName());
    } else if (_history && !_history->ok()) {
        why = QStringLiteral("history page: ") + _history->error();
    } else if (_history && _history->contentType() != QLatin1String("text/html")) {
        why = QStringLiteral("history page: content type '%1' is not text/html").arg(_history->contentType());
    }
    const QByteArray text = _database->body();
    const QString builddate = _history && why.isEmpty()
                                  ? builddateFromCommitslog(QString::fromUtf8(_history->body()), source.regex)
                                  : QString();
    _database->deleteLater();
    if (_history)
        _history->deleteLater();
    _database = nullptr;
    _history = nullptr;
    if (!why.isEmpty()) {
        installed({why, Outcome::Failed, QString()});
        return;
    }
    // Parsing a whole database twice takes long enough to stutter a window:
    // the install runs beside the event loop and reports back to it.
    _worker = QThread::create([this, source, text, builddate] {
        const Install result = install(source, text, builddate.isEmpty() ? QStringLiteral("- -") : builddate);
        // The outcome is posted before the parse posts databaseUpdated, so
        // listeners know why the database changed when it does.
        QMetaObject::invokeMethod(this, [this, result] { installed(result); }, Qt::QueuedConnection);
        if (result.why.isEmpty() && result.outcome == Outcome::Updated)
            THSmartDeviceDatabase::unpackDriveDBFile();
    });
    connect(_worker, &QThread::finished, _worker, &QObject::deleteLater);
    _worker->start();
}

void DriveDatabaseUpdater::installed(const Install &result)
{
    const DriveDbSource &source = _sources[_index];
    if (result.why.isEmpty()) {
        _result.outcome = result.outcome;
        _result.build = result.build;
        _result.source = source.database;
        finish(_result.outcome);
        return;
    }
    qCWarning(lcUpdateDb, "updateDB source(%d) '%s' failed: %s", _index, qPrintable(source.database), qPrintable(result.why));
    _result.failures.append(QStringLiteral("%1: %2").arg(source.database, result.why));
    trySource();
}

DriveDatabaseUpdater::Install DriveDatabaseUpdater::install(const DriveDbSource &source, const QByteArray &text,
                                                          const QString &builddate)
{
    auto fail = [](const QString &why) { return Install{why, Outcome::Failed, QString()}; };
    const QByteArray stamped = source.commits.isEmpty() ? text : stampVersion(text, builddate, source.database);
    bool readable = false;
    const DriveDatabase parsed = DriveDatabase::parse(stamped, &readable);
    if (!readable || parsed.drives().isEmpty())
        return fail(QStringLiteral("not a drive database"));
    if (!looksComplete(QString::fromUtf8(stamped)))
        return fail(QStringLiteral("the file is incomplete"));

    const QString build = parsed.dictionary().value(QStringLiteral("build")).toString();
    const int installed = THSmartDeviceDatabase::revisionOfFile(THSmartDeviceDatabase::sourcePath());
    if (!build.isEmpty() && installed > 0) {
        if (build.toInt() < installed)
            return fail(QStringLiteral("build %1 is older than the installed build %2").arg(build).arg(installed));
        if (build.toInt() == installed)
            return {QString(), Outcome::AlreadyCurrent, build};
    }

    const QString path = THSmartDeviceDatabase::dbPath();
    const QString old = path + QStringLiteral(".old");
    if (QFile::exists(path)) {
        QFile::remove(old);
        if (!QFile::copy(path, old))
            return fail(QStringLiteral("cannot keep the previous file as %1").arg(old));
    }
    QString error;
    if (!writeDriveDBFile(path, stamped, &error))
        return fail(error);
    return {QString(), Outcome::Updated, build};
}

void DriveDatabaseUpdater::finish(Outcome outcome)
{
    if (outcome == Outcome::Busy) {
        Result busy;
        busy.outcome = Outcome::Busy;
        Q_EMIT finished(busy);
        return;
    }
    _result.outcome = outcome;
    _running = g_running = false;
    _lock.reset();
    qCInfo(lcUpdateDb, "updateDB done: %s", qPrintable(_result.message()));
    Q_EMIT finished(_result);
}

} // namespace corvane
