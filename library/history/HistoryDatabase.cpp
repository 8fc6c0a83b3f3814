// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryDatabase.h"

#include "drive/Attributes.h"
#include "drive/NvmeDecoders.h"
#include "platform/Paths.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

Q_LOGGING_CATEGORY(lcHistory, "corvane.history")

namespace corvane {

namespace {

constexpr qint64 kDay = 86400;

// SQLite result codes that mean "these bytes are not a sound database".
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

struct Value
{
    const char *key;
    const char *column;
    const char *label;
    const char *unit;
    bool counter; // grows as the drive wears or fails
    std::optional<qint64> HistorySample::*member;
};

const Value kValues[] = {
    {"temperature", "temperature", "Temperature", "°C", false, &HistorySample::temperature},
    {"powerOnHours", "power_on_hours", "Power-on hours", "h", false, &HistorySample::powerOnHours},
    {"reallocated", "reallocated", "Reallocated sectors", "", true, &HistorySample::reallocated},
    {"pending", "pending", "Pending sectors", "", true, &HistorySample::pending},
    {"offlineUncorrectable", "offline_uncorrectable", "Offline uncorrectable", "", true,
     &HistorySample::offlineUncorrectable},
    {"crcErrors", "crc_errors", "CRC errors", "", true, &HistorySample::crcErrors},
    {"percentageUsed", "percentage_used", "Percentage used", "%", true, &HistorySample::percentageUsed},
    {"availableSpare", "available_spare", "Available spare", "%", false, &HistorySample::availableSpare},
    {"mediaErrors", "media_errors", "Media errors", "", true, &HistorySample::mediaErrors},
    {"unsafeShutdowns", "unsafe_shutdowns", "Unsafe shutdowns", "", true, &HistorySample::unsafeShutdowns},
};

const Value *valueOf(const QString &key)
{
    for (const Value &v : kValues)
        if (key == QLatin1String(v.key))
            return &v;
    return nullptr;
}

// Each step brings the schema from its index to the next version; a file is
// created by running them all, so old files and new ones end up the same.
const std::vector<std::vector<const char *>> kMigrations = {
    {
        "CREATE TABLE drives(id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE,"
        " bsd_name TEXT NOT NULL, last_seen INTEGER NOT NULL)",
        "CREATE TABLE samples(drive INTEGER NOT NULL REFERENCES drives(id), time INTEGER NOT NULL,"
        " bsd_name TEXT NOT NULL, health TEXT NOT NULL, temperature INTEGER, power_on_hours INTEGER,"
        " reallocated INTEGER, pending INTEGER, offline_uncorrectable INTEGER, crc_errors INTEGER,"
        " percentage_used INTEGER, available_spare INTEGER, media_errors INTEGER, unsafe_shutdowns INTEGER)",
        "CREATE INDEX samples_by_drive ON samples(drive, time)",
    },
    {
        "CREATE TABLE alert_memory(drive INTEGER PRIMARY KEY REFERENCES drives(id), health TEXT NOT NULL,"
        " counters TEXT NOT NULL, last_alert INTEGER, silenced INTEGER NOT NULL DEFAULT 0)",
        // Retention walks samples by age.
        "CREATE INDEX samples_by_time ON samples(time)",
    },
};

QString text(const QVariantMap &p, const char *key)
{
    return p.value(QLatin1String(key)).toString().trimmed();
}

std::optional<qint64> positive(const QVariant &v)
{
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok && n > 0 ? std::optional<qint64>(n) : std::nullopt;
}

std::optional<qint64> present(const QVariant &v)
{
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok && v.typeId() != QMetaType::QString ? std::optional<qint64>(n) : std::nullopt;
}

QVariant bound(const std::optional<qint64> &v)
{
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::LongLong));
}

std::optional<qint64> column(const QSqlQuery &q, int index)
{
    const QVariant v = q.value(index);
    return v.isNull() ? std::nullopt : std::optional<qint64>(v.toLongLong());
}

QString sqlError(const QSqlError &e)
{
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

bool isCorruption(const QSqlError &e)
{
    const int code = e.nativeErrorCode().toInt();
    // Extended codes carry the primary one in their low byte.
    return (code & 0xff) == kSqliteCorrupt || (code & 0xff) == kSqliteNotADatabase;
}

QAtomicInteger<quint64> connectionCounter;

} // namespace

QString historyDatabasePath()
{
    return programDataDir() + QStringLiteral("history.sqlite");
}

QString driveIdentity(const QVariantMap &p)
{
    QString model = text(p, "Device Model"), serial = text(p, "Serial Number");
    if (model.isEmpty())
        model = text(p, "mn");
    if (serial.isEmpty())
        serial = text(p, "sn");
    if (model.isEmpty() && serial.isEmpty())
        return {};
    return model + QLatin1Char('|') + serial;
}

QStringList historyCounterKeys()
{
    QStringList keys;
    for (const Value &v : kValues)
        if (v.counter)
            keys << QLatin1String(v.key);
    return keys;
}

QStringList historyValueKeys()
{
    QStringList keys;
    for (const Value &v : kValues)
        keys << QLatin1String(v.key);
    return keys;
}

QString historyValueLabel(const QString &key)
{
    const Value *v = valueOf(key);
    return v ? QString::fromUtf8(v->label) : QString();
}

QString historyValueUnit(const QString &key)
{
    const Value *v = valueOf(key);
    return v ? QString::fromUtf8(v->unit) : QString();
}

std::optional<qint64> counterValue(const HistorySample &sample, const QString &key)
{
    const Value *v = valueOf(key);
    return v ? sample.*(v->member) : std::nullopt;
}

std::optional<HistorySample> historySampleFromProperties(const QVariantMap &p, const QDateTime &time)
{
    HistorySample s;
    s.drive = driveIdentity(p);
    if (s.drive.isEmpty())
        return std::nullopt;
    s.time = time.toUTC();
    s.bsdName = text(p, "bsdName");
    const QString verdict = p.value(QStringLiteral("attributeHealth")).toString();
    s.health = verdict == QLatin1String("Passed") || verdict == QLatin1String("Warning")
                       || verdict == QLatin1String("Failed")
                   ? verdict
                   : QStringLiteral("-");

    if (p.value(QStringLiteral("isNVMe")).toBool()) {
        // Without the health log the reader leaves only the registry values.
        if (!p.contains(QStringLiteral("criticalWarning")))
            return s;
        // "temperature" is in kelvin here; 0 means the drive reports none.
        if (positive(p.value(QStringLiteral("temperature"))))
            s.temperature = qint64(std::lround(p.value(QStringLiteral("temp_oC")).toDouble()));
        s.percentageUsed = present(p.value(QStringLiteral("percentUsed")));
        s.availableSpare = present(p.value(QStringLiteral("availableSpare")));
        s.powerOnHours = nvmeCounter(p, QStringLiteral("powerOnHours"));
        s.mediaErrors = nvmeCounter(p, QStringLiteral("mediaErrors"));
        s.unsafeShutdowns = nvmeCounter(p, QStringLiteral("unsafeShutdowns"));
        return s;
    }

    s.temperature = positive(p.value(QStringLiteral("temperature")));
    s.powerOnHours = rawValueInteger(text(p, "powerOnHours"));
    s.crcErrors = present(p.value(QStringLiteral("crcErrorCount")));
    const QVariantMap attributes = p.value(QStringLiteral("vsaDict")).toMap();
    const auto raw = [&](const char *id) {
        const QVariant record = attributes.value(QLatin1String(id));
        return record.isValid() ? rawValueInteger(record.toMap().value(QStringLiteral("rawValue")).toString())
                                : std::nullopt;
    };
    s.reallocated = raw("5");
    s.pending = raw("197");
    s.offlineUncorrectable = raw("198");
    return s;
}

struct HistoryDatabase::Private
{
    QString path;
    Access access;
    QString connection;
    QString error;
    bool open = false;
    Limits limits;
    // Rows older than this were thinned by this instance already (seconds).
    qint64 thinnedThrough = std::numeric_limits<qint64>::min();
    QHash<QString, qint64> driveIds;

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }

    // Statements without a result stay prepared: a gather runs the same few.
    bool exec(const QString &sql, const QVariantList &values = {}, QSqlQuery *result = nullptr)
    {
        QSqlQuery fresh(db());
        const auto cached = result ? statements.end() : statements.find(sql);
        QSqlQuery &q = cached != statements.end() ? *cached : fresh;
        if (cached == statements.end() && !q.prepare(sql)) {
            error = sqlError(q.lastError());
            lastFailure = q.lastError();
            return false;
        }
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec()) {
            error = sqlError(q.lastError());
            lastFailure = q.lastError();
            return false;
        }
        if (result) {
            *result = std::move(q);
        } else {
            q.finish();
            if (cached == statements.end())
                statements.insert(sql, std::move(fresh));
        }
        return true;
    }
    QHash<QString, QSqlQuery> statements;

    std::optional<qint64> scalar(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q;
        if (!exec(sql, values, &q) || !q.next() || q.value(0).isNull())
            return std::nullopt;
        return q.value(0).toLongLong();
    }

    QSqlError lastFailure;

    void close()
    {
        open = false;
        driveIds.clear();
        statements.clear();
        if (QSqlDatabase::contains(connection)) {
            QSqlDatabase::database(connection, false).close();
            QSqlDatabase::removeDatabase(connection);
        }
    }

    enum class Check { Ok, Corrupt, Failed };
    Check connect();
    bool migrate(int from);
    bool moveAside();
    std::optional<qint64> driveId(const QString &drive, bool byKernelName);
    void retain(qint64 newest);
};

// Opens the connection and looks at what the file holds.
HistoryDatabase::Private::Check HistoryDatabase::Private::connect()
{
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (!database.isValid()) {
        error = QStringLiteral("the SQLite driver of Qt SQL is not installed (Debian: libqt6sql6-sqlite)");
        return Check::Failed;
    }
    database.setDatabaseName(path);
    database.setConnectOptions(access == Access::ReadOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000")
                                                          : QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!database.open()) {
        error = sqlError(database.lastError());
        return isCorruption(database.lastError()) ? Check::Corrupt : Check::Failed;
    }
    QSqlQuery q(database);
    // The first read of the file is where SQLite finds foreign bytes.
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next()) {
        error = sqlError(q.lastError());
        return isCorruption(q.lastError()) ? Check::Corrupt : Check::Failed;
    }
    const QString check = q.value(0).toString();
    // An unfinished statement would hold a read transaction open.
    q.finish();
    if (check != QLatin1String("ok")) {
        error = QStringLiteral("damaged: ") + check;
        return Check::Corrupt;
    }
    const std::optional<qint64> version = scalar(QStringLiteral("PRAGMA user_version"));
    const std::optional<qint64> tables = scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (!version || !tables)
        return isCorruption(lastFailure) ? Check::Corrupt : Check::Failed;
    if (*version == 0 && *tables > 0) {
        error = QStringLiteral("not a Corvane history database");
        return Check::Corrupt;
    }
    if (*version > schemaVersion()) {
        error = QStringLiteral("written by a newer Corvane (schema %1, this one knows %2)").arg(*version).arg(schemaVersion());
        return Check::Failed;
    }
    if (access == Access::ReadOnly)
        return Check::Ok;

    if (*version == 0) {
        // Space freed by retention goes back to the file system; only an empty file can change this.
        if (!exec(QStringLiteral("PRAGMA auto_vacuum = INCREMENTAL")))
            return Check::Failed;
    }
    // Readers (the main window, corvanectl) never wait for the agent's writes.
    QSqlQuery wal;
    if (!exec(QStringLiteral("PRAGMA journal_mode = WAL"), {}, &wal) || !wal.next()
        || wal.value(0).toString() != QLatin1String("wal")) {
        if (error.isEmpty())
            error = QStringLiteral("cannot switch to write-ahead logging");
        return Check::Failed;
    }
    wal.finish();
    exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    // SQLite's checkpoint every 1000 pages: more often costs a gather its fsyncs
    // (bench/HistoryBench.cpp). The log is cut back to 1 MiB after each.
    exec(QStringLiteral("PRAGMA journal_size_limit = 1048576"));
    return migrate(int(*version)) ? Check::Ok : Check::Failed;
}

bool HistoryDatabase::Private::migrate(int from)
{
    QSqlDatabase database = db();
    for (int version = from; version < schemaVersion(); ++version) {
        if (!database.transaction()) {
            error = sqlError(database.lastError());
            return false;
        }
        bool ok = true;
        for (const char *statement : kMigrations[size_t(version)])
            ok = ok && exec(QString::fromLatin1(statement));
        // user_version lives in the file header: it commits with the tables.
        ok = ok && exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1));
        if (!ok || !database.commit()) {
            if (ok)
                error = sqlError(database.lastError());
            database.rollback();
            error = QStringLiteral("cannot upgrade from schema %1: %2").arg(version).arg(error);
            return false;
        }
    }
    return true;
}

bool HistoryDatabase::Private::moveAside()
{
    close();
    const QString stamp = path + QStringLiteral(".corrupt-")
                          + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = stamp;
    // Never over an earlier damaged file: it may be all that is left of a history.
    for (int n = 2; QFileInfo::exists(aside) && n < 100; ++n)
        aside = stamp + QLatin1Char('-') + QString::number(n);
    if (QFileInfo::exists(aside) || !QFile::rename(path, aside)) {
        error = QStringLiteral("cannot move the damaged file aside to %1").arg(aside);
        return false;
    }
    // A write-ahead log belongs to the file it was written for: never replay it into a new one.
    for (const char *suffix : {"-wal", "-shm"}) {
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    qCWarning(lcHistory).noquote() << "The drive history" << path << "was damaged; it was moved to" << aside
                                   << "and a new history started";
    return true;
}

std::optional<qint64> HistoryDatabase::Private::driveId(const QString &drive, bool byKernelName)
{
    if (const auto it = driveIds.constFind(drive); it != driveIds.cend())
        return *it;
    std::optional<qint64> id = scalar(QStringLiteral("SELECT id FROM drives WHERE identity = ?"), {drive});
    if (!id && byKernelName)
        id = scalar(QStringLiteral("SELECT drive FROM samples WHERE bsd_name = ? ORDER BY time DESC LIMIT 1"), {drive});
    else if (id)
        driveIds.insert(drive, *id);
    return id;
}

void HistoryDatabase::Private::retain(qint64 newest)
{
    // Whole days only, so a day's one row is its last one.
    const qint64 fullFrom = newest - qint64(limits.fullDays) * kDay;
    const qint64 thinTo = fullFrom - ((fullFrom % kDay) + kDay) % kDay;
    if (thinTo > thinnedThrough) {
        const qint64 from = thinnedThrough == std::numeric_limits<qint64>::min() ? thinTo - kDay * 365 * 1000
                                                                                  : thinnedThrough;
        // SQLite takes the other columns of a MAX() group from the row holding the maximum.
        if (exec(QStringLiteral("DELETE FROM samples WHERE time >= ? AND time < ? AND rowid NOT IN"
                                " (SELECT rowid FROM (SELECT rowid, MAX(time) FROM samples"
                                " WHERE time >= ? AND time < ? GROUP BY drive, time / 86400))"),
                 {from, thinTo, from, thinTo}))
            thinnedThrough = thinTo;
    }

    const auto used = [this] {
        const qint64 pages = scalar(QStringLiteral("PRAGMA page_count")).value_or(0)
                             - scalar(QStringLiteral("PRAGMA freelist_count")).value_or(0);
        return pages * scalar(QStringLiteral("PRAGMA page_size")).value_or(4096);
    };
    bool dropped = false;
    // The oldest tenth at a time; bounded, whatever the pages say.
    for (int round = 0; round < 64 && used() > limits.maxBytes; ++round) {
        const qint64 rows = scalar(QStringLiteral("SELECT count(*) FROM samples")).value_or(0);
        if (rows == 0)
            break;
        exec(QStringLiteral("DELETE FROM samples WHERE rowid IN (SELECT rowid FROM samples ORDER BY time LIMIT ?)"),
             {std::max<qint64>(1, rows / 10)});
        dropped = true;
    }
    if (dropped)
        exec(QStringLiteral("PRAGMA incremental_vacuum"));
}

HistoryDatabase::HistoryDatabase(QString path, Access access) : d(new Private)
{
    d->path = std::move(path);
    d->access = access;
    d->connection = QStringLiteral("corvane-history-%1").arg(connectionCounter.fetchAndAddRelaxed(1));
}

HistoryDatabase::~HistoryDatabase()
{
    d->close();
    delete d;
}

int HistoryDatabase::schemaVersion()
{
    return int(kMigrations.size());
}

bool HistoryDatabase::open(QString *error)
{
    d->close();
    d->error.clear();
    const auto fail = [&] {
        d->close();
        if (error)
            *error = d->error;
        return false;
    };
    if (d->access == Access::ReadOnly && !QFileInfo::exists(d->path)) {
        d->error = QStringLiteral("no history has been recorded yet (%1 does not exist)").arg(d->path);
        return fail();
    }
    if (d->access == Access::ReadWrite && !QDir().mkpath(QFileInfo(d->path).absolutePath())) {
        d->error = QStringLiteral("cannot create the folder of %1").arg(d->path);
        return fail();
    }
    Private::Check check = d->connect();
    if (check == Private::Check::Corrupt) {
        const QString why = d->error;
        if (d->access == Access::ReadOnly) {
            d->error = QStringLiteral("%1 is damaged: %2").arg(d->path, why);
            return fail();
        }
        qCWarning(lcHistory).noquote() << d->path << why;
        if (!d->moveAside())
            return fail();
        // Once: a new file that fails too is an error, not another move.
        check = d->connect();
    }
    if (check != Private::Check::Ok) {
        d->error = QStringLiteral("%1: %2").arg(d->path, d->error);
        return fail();
    }
    d->open = true;
    d->error.clear();
    return true;
}

bool HistoryDatabase::isOpen() const
{
    return d->open;
}

QString HistoryDatabase::path() const
{
    return d->path;
}

QString HistoryDatabase::lastError() const
{
    return d->error;
}

void HistoryDatabase::setLimits(Limits limits)
{
    d->limits = limits;
}

bool HistoryDatabase::append(const QList<HistorySample> &samples)
{
    if (!d->open || d->access != Access::ReadWrite) {
        d->error = QStringLiteral("the history is not open for writing");
        return false;
    }
    if (samples.isEmpty())
        return true;
    QSqlDatabase database = d->db();
    if (!database.transaction()) {
        d->error = sqlError(database.lastError());
        return false;
    }
    QString columns, marks;
    for (const Value &v : kValues) {
        columns += QStringLiteral(", ") + QLatin1String(v.column);
        marks += QStringLiteral(", ?");
    }
    const QString insert = QStringLiteral("INSERT INTO samples(drive, time, bsd_name, health%1) VALUES(?, ?, ?, ?%2)")
                               .arg(columns, marks);
    qint64 newest = std::numeric_limits<qint64>::min();
    bool ok = true;
    for (const HistorySample &s : samples) {
        const qint64 time = s.time.toSecsSinceEpoch();
        newest = std::max(newest, time);
        ok = d->exec(QStringLiteral("INSERT INTO drives(identity, bsd_name, last_seen) VALUES(?, ?, ?)"
                                    " ON CONFLICT(identity) DO UPDATE SET bsd_name = excluded.bsd_name,"
                                    " last_seen = excluded.last_seen WHERE excluded.last_seen >= drives.last_seen"),
                     {s.drive, s.bsdName, time});
        const std::optional<qint64> id = ok ? d->driveId(s.drive, false) : std::nullopt;
        if (!id) {
            ok = false;
            break;
        }
        QVariantList values{*id, time, s.bsdName, s.health.isEmpty() ? QStringLiteral("-") : s.health};
        for (const Value &v : kValues)
            values << bound(s.*(v.member));
        if (!(ok = d->exec(insert, values)))
            break;
    }
    if (!ok || !database.commit()) {
        if (ok)
            d->error = sqlError(database.lastError());
        database.rollback();
        d->driveIds.clear();
        return false;
    }
    d->retain(newest);
    d->error.clear();
    return true;
}

QStringList HistoryDatabase::drives() const
{
    QStringList result;
    QSqlQuery q;
    if (d->open && d->exec(QStringLiteral("SELECT identity FROM drives WHERE id IN (SELECT drive FROM samples)"
                                          " ORDER BY last_seen DESC, id"),
                           {}, &q))
        while (q.next())
            result << q.value(0).toString();
    return result;
}

QList<HistorySample> HistoryDatabase::series(const QString &drive, const QDateTime &since) const
{
    return samples(drive, since, false);
}

std::optional<HistorySample> HistoryDatabase::latest(const QString &drive) const
{
    const QList<HistorySample> newest = samples(drive, {}, true);
    return newest.isEmpty() ? std::nullopt : std::optional<HistorySample>(newest.first());
}

QList<HistorySample> HistoryDatabase::samples(const QString &drive, const QDateTime &since, bool newestOnly) const
{
    QList<HistorySample> result;
    const std::optional<qint64> id = d->open ? d->driveId(drive, true) : std::nullopt;
    if (!id)
        return result;
    const std::optional<QString> identity = [&]() -> std::optional<QString> {
        QSqlQuery q;
        if (d->exec(QStringLiteral("SELECT identity FROM drives WHERE id = ?"), {*id}, &q) && q.next())
            return q.value(0).toString();
        return std::nullopt;
    }();
    QString columns;
    for (const Value &v : kValues)
        columns += QStringLiteral(", ") + QLatin1String(v.column);
    QSqlQuery q;
    if (!identity
        || !d->exec(QStringLiteral("SELECT time, bsd_name, health%1 FROM samples WHERE drive = ? AND time >= ? %2")
                        .arg(columns, newestOnly ? QStringLiteral("ORDER BY time DESC, rowid DESC LIMIT 1")
                                                 : QStringLiteral("ORDER BY time, rowid")),
                    {*id, since.isValid() ? since.toSecsSinceEpoch() : std::numeric_limits<qint64>::min()}, &q))
        return result;
    while (q.next()) {
        HistorySample s;
        s.time = QDateTime::fromSecsSinceEpoch(q.value(0).toLongLong(), Qt::UTC);
        s.drive = *identity;
        s.bsdName = q.value(1).toString();
        s.health = q.value(2).toString();
        int index = 3;
        for (const Value &v : kValues)
            s.*(v.member) = column(q, index++);
        result.append(s);
    }
    return result;
}

std::optional<qint64> HistoryDatabase::growth(const QString &drive, const QString &counterKey, int days) const
{
    const Value *v = valueOf(counterKey);
    const std::optional<qint64> id = v && d->open ? d->driveId(drive, true) : std::nullopt;
    if (!id)
        return std::nullopt;
    const QString col = QLatin1String(v->column);
    QSqlQuery newest;
    if (!d->exec(QStringLiteral("SELECT time, %1, rowid FROM samples WHERE drive = ? AND %1 IS NOT NULL"
                                " ORDER BY time DESC, rowid DESC LIMIT 1").arg(col),
                 {*id}, &newest)
        || !newest.next())
        return std::nullopt;
    const qint64 cutoff = newest.value(0).toLongLong() - qint64(days) * kDay;
    // The value `days` ago: the last sample by then, else the oldest one.
    QSqlQuery base;
    if (!d->exec(QStringLiteral("SELECT %1, rowid FROM samples WHERE drive = ? AND %1 IS NOT NULL"
                                " ORDER BY time <= ? DESC, CASE WHEN time <= ? THEN -time ELSE time END, rowid LIMIT 1")
                     .arg(col),
                 {*id, cutoff, cutoff}, &base)
        || !base.next() || base.value(1) == newest.value(2))
        return std::nullopt;
    return newest.value(1).toLongLong() - base.value(0).toLongLong();
}

std::optional<AlertMemory> HistoryDatabase::alertMemory(const QString &drive) const
{
    const std::optional<qint64> id = d->open ? d->driveId(drive, true) : std::nullopt;
    QSqlQuery q;
    if (!id
        || !d->exec(QStringLiteral("SELECT health, counters, last_alert, silenced FROM alert_memory WHERE drive = ?"),
                    {*id}, &q)
        || !q.next())
        return std::nullopt;
    AlertMemory m;
    m.health = q.value(0).toString();
    m.counters = QJsonDocument::fromJson(q.value(1).toByteArray()).object().toVariantMap();
    if (!q.value(2).isNull())
        m.lastAlert = QDateTime::fromMSecsSinceEpoch(q.value(2).toLongLong(), Qt::UTC);
    m.silenced = q.value(3).toBool();
    return m;
}

bool HistoryDatabase::setAlertMemory(const QString &drive, const AlertMemory &memory)
{
    if (!d->open || d->access != Access::ReadWrite) {
        d->error = QStringLiteral("the history is not open for writing");
        return false;
    }
    std::optional<qint64> id = d->driveId(drive, true);
    // An identity never sampled yet (the alert came first) gets its row now.
    if (!id && drive.contains(QLatin1Char('|'))
        && d->exec(QStringLiteral("INSERT INTO drives(identity, bsd_name, last_seen) VALUES(?, '', 0)"), {drive}))
        id = d->driveId(drive, false);
    if (!id) {
        d->error = QStringLiteral("no drive %1 in the history").arg(drive);
        return false;
    }
    const QByteArray counters = QJsonDocument(QJsonObject::fromVariantMap(memory.counters)).toJson(QJsonDocument::Compact);
    return d->exec(QStringLiteral("INSERT OR REPLACE INTO alert_memory(drive, health, counters, last_alert, silenced)"
                                  " VALUES(?, ?, ?, ?, ?)"),
                   {*id, memory.health, QString::fromUtf8(counters),
                    memory.lastAlert.isValid() ? QVariant(memory.lastAlert.toMSecsSinceEpoch())
                                               : QVariant(QMetaType(QMetaType::LongLong)),
                    memory.silenced ? 1 : 0});
}

} // namespace corvane
