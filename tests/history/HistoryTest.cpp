// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentDriveSource.h"
#include "AlertPolicy.h"
#include "HistoryWriter.h"
#include "QStringPrinter.h"
#include "support/Golden.h"
#include "history/HistoryDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

const QDateTime kStart(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
const QString kA = QStringLiteral("WDC WD5000AAKS|WD-A");
const QString kB = QStringLiteral("Samsung SSD 980|S6B");

HistorySample sample(const QString &drive, const QString &bsdName, int hour, std::optional<qint64> reallocated = {})
{
    HistorySample s;
    s.drive = drive;
    s.bsdName = bsdName;
    s.time = kStart.addSecs(qint64(hour) * 3600);
    s.health = QStringLiteral("Passed");
    s.reallocated = reallocated;
    return s;
}

struct RawFile
{
    explicit RawFile(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        db.open();
    }
    ~RawFile() { QSqlDatabase::removeDatabase(QStringLiteral("raw")); }
    QVariant exec(const QString &sql) const
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("raw")));
        EXPECT_TRUE(q.exec(sql)) << qPrintable(sql);
        return q.next() ? q.value(0) : QVariant();
    }
};

QString values(const HistorySample &s)
{
    QStringList out{s.health};
    for (const std::optional<qint64> &v : {s.temperature, s.powerOnHours, s.reallocated, s.pending, s.offlineUncorrectable,
                                           s.crcErrors, s.percentageUsed, s.availableSpare, s.mediaErrors, s.unsafeShutdowns})
        out << (v ? QString::number(*v) : QStringLiteral("-"));
    return out.join(QLatin1Char(' '));
}

QByteArray takeAside(const QDir &dir)
{
    const QStringList aside = dir.entryList({QStringLiteral("history.sqlite.corrupt-*")}, QDir::Files);
    if (aside.size() != 1)
        return QByteArray::number(aside.size()) + " files aside";
    QFile f(dir.filePath(aside.first()));
    const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    f.remove();
    return bytes;
}

} // namespace

TEST(HistoryDatabase, KeepsThirtyDaysWholeThenOneRowADayFollowsRenamesAndStaysUnderItsSizeCap)
{
    QTemporaryDir dir;
    HistoryDatabase db(dir.filePath(QStringLiteral("history.sqlite")));
    ASSERT_TRUE(db.open()) << qPrintable(db.lastError());
    // Forty days of hourly gathers; on day 20 the two drives swap kernel names.
    for (int hour = 0; hour < 40 * 24; ++hour) {
        const bool swapped = hour >= 20 * 24;
        HistorySample b = sample(kB, swapped ? QStringLiteral("sdb") : QStringLiteral("sdc"), hour);
        b.mediaErrors = 3;
        ASSERT_TRUE(db.append({sample(kA, swapped ? QStringLiteral("sdc") : QStringLiteral("sdb"), hour, hour / 24), b}));
    }

    // The newest sample is day 39, 23:00: days 9 to 39 stay whole, days 0 to 8
    // keep their last row.
    const QList<HistorySample> a = db.series(kA);
    ASSERT_EQ(a.size(), 9 + 31 * 24);
    for (int day = 0; day < 9; ++day)
        EXPECT_EQ(a[day].time, kStart.addDays(day).addSecs(23 * 3600)) << day;
    EXPECT_EQ(a[9].time, kStart.addDays(9));
    EXPECT_EQ(a.constLast().time, kStart.addDays(39).addSecs(23 * 3600));
    EXPECT_EQ(a.constFirst().bsdName, QStringLiteral("sdb"));
    EXPECT_EQ(a.constLast().bsdName, QStringLiteral("sdc"));
    EXPECT_EQ(values(a.constLast()), QStringLiteral("Passed - - 39 - - - - - - -"));

    EXPECT_EQ(db.series(QStringLiteral("sdc")).constFirst().drive, kA);
    EXPECT_EQ(db.series(QStringLiteral("sdb")).constFirst().drive, kB);
    EXPECT_EQ(db.drives(), (QStringList{kA, kB}));
    EXPECT_EQ(db.series(kA, kStart.addDays(39)).size(), 24);
    EXPECT_EQ(db.series(kA, kStart.addDays(39).addSecs(1)).size(), 23);

    // Growth: against the last sample `days` before the newest, else the oldest.
    using Growth = QList<std::optional<qint64>>;
    EXPECT_EQ(Growth({db.growth(kA, "reallocated", 7), db.growth("sdc", "reallocated", 1), db.growth(kA, "reallocated", 100),
                      db.growth(kB, "mediaErrors", 7), db.growth(kB, "reallocated", 7), db.growth(kA, "noSuchCounter", 7)}),
              Growth({7, 1, 39, 0, std::nullopt, std::nullopt}));
    ASSERT_TRUE(db.append({sample("X|1", "sdd", 40 * 24, 5)}));
    EXPECT_EQ(db.growth("X|1", "reallocated", 7), std::nullopt);
    EXPECT_EQ(db.drives().constFirst(), QStringLiteral("X|1"));

    const AlertMemory memory{"Warning", {{"reallocated", 39}}, kStart.addDays(39), true};
    ASSERT_TRUE(db.setAlertMemory(QStringLiteral("sdc"), memory));
    EXPECT_EQ(db.alertMemory(kA), memory);
    EXPECT_FALSE(db.alertMemory(kB));
    EXPECT_FALSE(db.setAlertMemory(QStringLiteral("sdz"), memory));

    // A size cap drops the oldest rows.
    const QString path = dir.filePath(QStringLiteral("capped.sqlite"));
    const qint64 cap = 96 * 1024;
    {
        HistoryDatabase db(path);
        ASSERT_TRUE(db.open());
        db.setLimits({3650, cap});
        for (int hour = 0; hour < 400; ++hour) {
            QList<HistorySample> gather;
            for (int drive = 0; drive < 10; ++drive)
                gather << sample(QStringLiteral("Model|%1").arg(drive), QStringLiteral("sd%1").arg(QChar(u'a' + drive)), hour, hour);
            ASSERT_TRUE(db.append(gather));
        }
        const QList<HistorySample> kept = db.series(QStringLiteral("Model|0"));
        ASSERT_FALSE(kept.isEmpty());
        EXPECT_GT(kept.constFirst().time, kStart);
        EXPECT_EQ(kept.constLast().time, kStart.addSecs(399 * 3600));
        EXPECT_LT(kept.size(), 400);
    }
    EXPECT_LE(QFileInfo(path).size(), cap);
    EXPECT_GT(QFileInfo(path).size(), cap / 2);
}

TEST(HistoryDatabase, MovesDamagedFilesAsideOnceRefusesNewerOnesAndUpgradesVersionOne)
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const QByteArray garbage = QByteArray("this is no database ").repeated(300);
    ASSERT_TRUE(test::writeFile(path, garbage));

    QString error;
    EXPECT_FALSE(HistoryDatabase(path, HistoryDatabase::Access::ReadOnly).open(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("is damaged"))) << qPrintable(error);
    EXPECT_EQ(takeAside(dir), "0 files aside");

    {
        HistoryDatabase db(path);
        ASSERT_TRUE(db.open()) << qPrintable(db.lastError());
        ASSERT_TRUE(db.append({sample(kA, QStringLiteral("sda"), 0, 1)}));
    }
    {
        HistoryDatabase again(path, HistoryDatabase::Access::ReadOnly);
        ASSERT_TRUE(again.open());
        EXPECT_EQ(again.series(kA).size(), 1);
    }
    EXPECT_EQ(takeAside(dir), garbage);

    {
        HistoryDatabase db(path);
        ASSERT_TRUE(db.open());
        for (int hour = 1; hour < 300; ++hour)
            ASSERT_TRUE(db.append({sample(kA, QStringLiteral("sda"), hour, hour), sample(kB, QStringLiteral("sdb"), hour)}));
    }
    const qint64 full = QFileInfo(path).size();
    ASSERT_TRUE(QFile::resize(path, full / 2));
    EXPECT_FALSE(HistoryDatabase(path, HistoryDatabase::Access::ReadOnly).open());
    {
        HistoryDatabase db(path);
        ASSERT_TRUE(db.open()) << qPrintable(db.lastError());
        EXPECT_TRUE(db.drives().isEmpty());
    }
    EXPECT_EQ(takeAside(dir).size(), full / 2);

    ASSERT_TRUE(QFile::remove(path));
    RawFile(path).exec(QStringLiteral("CREATE TABLE notes(text TEXT)"));
    ASSERT_TRUE(HistoryDatabase(path).open());
    EXPECT_TRUE(takeAside(dir).startsWith("SQLite format 3"));

    RawFile(path).exec(QStringLiteral("PRAGMA user_version = 99"));
    HistoryDatabase newer(path);
    EXPECT_FALSE(newer.open(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("newer Corvane"))) << qPrintable(error);
    EXPECT_FALSE(newer.append({sample(kA, QStringLiteral("sda"), 0)}));
    EXPECT_EQ(takeAside(dir), "0 files aside");
    EXPECT_EQ(RawFile(path).exec(QStringLiteral("PRAGMA user_version")).toInt(), 99);

    const QString missing = dir.filePath(QStringLiteral("none.sqlite"));
    EXPECT_FALSE(HistoryDatabase(missing, HistoryDatabase::Access::ReadOnly).open(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("no history has been recorded yet"))) << qPrintable(error);
    EXPECT_FALSE(QFileInfo::exists(missing));

    const QString v1Path = dir.filePath(QStringLiteral("v1.sqlite"));
    {
        RawFile v1(v1Path);
        v1.exec(QStringLiteral("CREATE TABLE drives(id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE,"
                               " bsd_name TEXT NOT NULL, last_seen INTEGER NOT NULL)"));
        v1.exec(QStringLiteral("CREATE TABLE samples(drive INTEGER NOT NULL REFERENCES drives(id), time INTEGER NOT NULL,"
                               " bsd_name TEXT NOT NULL, health TEXT NOT NULL, temperature INTEGER, power_on_hours INTEGER,"
                               " reallocated INTEGER, pending INTEGER, offline_uncorrectable INTEGER, crc_errors INTEGER,"
                               " percentage_used INTEGER, available_spare INTEGER, media_errors INTEGER,"
                               " unsafe_shutdowns INTEGER)"));
        v1.exec(QStringLiteral("CREATE INDEX samples_by_drive ON samples(drive, time)"));
        v1.exec(QStringLiteral("INSERT INTO drives VALUES(1, 'M|S', 'sda', 1767225600)"));
        v1.exec(QStringLiteral("INSERT INTO samples(drive, time, bsd_name, health, temperature, pending)"
                               " VALUES(1, 1767225600, 'sda', 'Warning', 41, 8)"));
        v1.exec(QStringLiteral("PRAGMA user_version = 1"));
    }
    {
        HistoryDatabase db(v1Path);
        ASSERT_TRUE(db.open()) << qPrintable(db.lastError());
        const QList<HistorySample> old = db.series(QStringLiteral("sda"));
        ASSERT_EQ(old.size(), 1);
        EXPECT_EQ(old[0].time, kStart);
        EXPECT_EQ(values(old[0]), QStringLiteral("Warning 41 - - 8 - - - - - -"));
        EXPECT_TRUE(db.setAlertMemory(QStringLiteral("M|S"), {QStringLiteral("Warning"), {}, {}, false}));
        EXPECT_FALSE(db.alertMemory(QStringLiteral("M|S"))->lastAlert.isValid());
    }
    EXPECT_EQ(RawFile(v1Path).exec(QStringLiteral("PRAGMA user_version")).toInt(), HistoryDatabase::schemaVersion());
    EXPECT_EQ(HistoryDatabase::schemaVersion(), 2);
    EXPECT_EQ(RawFile(v1Path).exec(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
}

TEST(HistoryWriter, WritesOneRowPerDriveReadAndSkipsSleepingDrives)
{
    QString error;
    const auto source = makeAgentDriveSource(QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo"), &error);
    ASSERT_TRUE(source) << qPrintable(error);
    QList<QVariantMap> drives = source->readAllDrives({}).value_or(QList<QVariantMap>());
    ASSERT_EQ(drives.size(), 8);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data/history.sqlite"));
    HistoryWriter writer(path);
    QDateTime now = kStart;
    ASSERT_TRUE(writer.append(gatherSamples(drives, now).read));
    ASSERT_EQ(drives[2].value(QStringLiteral("bsdName")).toString(), QStringLiteral("sda"));
    drives[2].insert(QStringLiteral("asleep"), true);
    now = now.addSecs(3600);
    ASSERT_TRUE(writer.append(gatherSamples(drives, now).read));

    HistoryDatabase db(path, HistoryDatabase::Access::ReadOnly);
    ASSERT_TRUE(db.open());
    // sdf can't be read but has an identity: its rows say "-".
    QByteArray rows;
    for (const QString &drive : db.drives())
        for (const HistorySample &s : db.series(drive))
            rows += QStringList{s.drive, s.bsdName, s.time.toString(Qt::ISODate), values(s) + '\n'}.join(" | ").toUtf8();
    test::expectGolden(QStringLiteral("history-demo.txt"), rows);

    const std::optional<HistorySample> wide = historySampleFromProperties(
        {{QStringLiteral("Serial Number"), QStringLiteral(" S1 ")}, {QStringLiteral("isNVMe"), true},
         {QStringLiteral("criticalWarning"), 0u}, {QStringLiteral("temperature"), 300u}, {QStringLiteral("temp_oC"), 26.85},
         {QStringLiteral("mediaErrorsLo"), 7ull}, {QStringLiteral("mediaErrorsHi"), 0ull},
         {QStringLiteral("unsafeShutdownsLo"), 1ull}, {QStringLiteral("unsafeShutdownsHi"), 1ull},
         {QStringLiteral("percentUsed"), 12u}},
        kStart);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->drive, QStringLiteral("|S1"));
    EXPECT_EQ(values(*wide), QStringLiteral("- 27 - - - - - 12 - 7 9223372036854775807"));
    EXPECT_FALSE(historySampleFromProperties({{QStringLiteral("bsdName"), QStringLiteral("sdx")}}, kStart));

    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("blocked/history.sqlite"))));
    HistoryWriter blocked(dir.filePath(QStringLiteral("blocked/history.sqlite")));
    static int warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &) {
        warnings += type == QtWarningMsg;
    });
    const QList<HistorySample> samples = gatherSamples(drives, now).read;
    EXPECT_FALSE(blocked.append(samples));
    EXPECT_FALSE(blocked.append(samples));
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, 1);
}
