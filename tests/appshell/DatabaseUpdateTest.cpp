// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppShellTestSupport.h"
#include "TestData.h"
#include "database/THSmartDeviceDatabase.h"
#include "database/thVendorDB.h"
#include "update/DriveDatabaseUpdater.h"
#include "update/thDownload.h"

#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;
using Outcome = DriveDatabaseUpdater::Outcome;

namespace {

const QByteArray kExpandedLine = "VERSION: 7.3 $Id: drivedb.h 5319 2022-02-19 17:48:34Z chrfranke $";

QByteArray database(const QByteArray &versionLine = "VERSION: 7.3 $Id$")
{
    QByteArray text = readData(QStringLiteral("drivedb/base.h"));
    EXPECT_TRUE(text.contains(kExpandedLine));
    return text.replace(kExpandedLine, versionLine);
}
QByteArray stamped(int build)
{
    return database("VERSION: 7.3 $Id: drivedb.h " + QByteArray::number(build) + " 2023-05-06 mirror $");
}

// A history page of the repository's web interface (expression A), newest record first.
QByteArray repositoryLog(int newest, const char *date)
{
    return "<html><table><tr class=\"rev\"><td><div class=\"first\" revision=\"" + QByteArray::number(newest)
           + "\">r</div></td><td>" + date + "T10:00:00</td></tr>"
           + "<tr class=\"rev\"><td><div class=\"x\" revision=\"100\">r</div></td><td>2001-01-01</td></tr></table></html>";
}

// A mirror's commit page (expression B with `scheme`).
QByteArray mirrorLog(const char *scheme, int newest, const char *date)
{
    return QByteArray("<div>git-svn-id: <a href=\"") + scheme + "://svn.code.sf.net/p/smartmontools/code/trunk@"
           + QByteArray::number(newest) + " 4be8\">x</a><relative-time datetime=\"" + date
           + "T01:02:03Z\"></relative-time></div><div>git-svn-id: <a href=\"" + scheme
           + "://svn.code.sf.net/p/smartmontools/code/trunk@1 4be8\">y</a> datetime=\"2000-01-01\"</div>";
}

class DatabaseUpdate : public ::testing::Test
{
protected:
    void SetUp() override { THSmartDeviceDatabase::setSystemDatabasePaths({}); }
    void TearDown() override { THSmartDeviceDatabase::setSystemDatabasePaths(_systemPaths); }

    DriveDatabaseUpdater::Result update(const QList<DriveDbSource> &sources, int timeoutMs = 5000)
    {
        DriveDatabaseUpdater updater;
        updater.setSources(sources);
        updater.setTimeout(timeoutMs);
        QSignalSpy finished(&updater, &DriveDatabaseUpdater::finished);
        updater.start();
        EXPECT_TRUE(!finished.isEmpty() || finished.wait(20000));
        return finished.isEmpty() ? DriveDatabaseUpdater::Result{Outcome::Busy, {}, {}, {}}
                                  : finished[0][0].value<DriveDatabaseUpdater::Result>();
    }
    DriveDbSource plain(const QString &path) { return {server.url(path), QString(), QString()}; }

    TemporaryHome home;
    LoopbackHttpServer server;
    const QString db = THSmartDeviceDatabase::dbPath();
    const QString old = THSmartDeviceDatabase::dbPath() + QStringLiteral(".old");
    QStringList _systemPaths = THSmartDeviceDatabase::systemDatabasePaths();
};

TEST_F(DatabaseUpdate, HistoryPagesStampTheBuildAndANewerBuildKeepsTheOldFile)
{
    server.route("/maker/drivedb.h", {200, "text/html", "<html>maintenance</html>"});
    server.route("/repo/drivedb.h", {200, "text/plain; charset=utf-8", database()});
    server.route("/repo/log", {200, "text/html; charset=utf-8", repositoryLog(5500, "2023-04-01")});
    const QList<DriveDbSource> sources{
        plain("/maker/drivedb.h"),
        {server.url("/repo/drivedb.h"), server.url("/repo/log"), DriveDatabaseUpdater::expressionA()}};
    QSignalSpy rebuilt(THSmartDeviceDatabase::instance(), &THSmartDeviceDatabase::databaseUpdated);

    DriveDatabaseUpdater::Result result = update(sources);
    EXPECT_EQ(result.message(), "Drive database updated to build 5500.");
    ASSERT_EQ(result.failures.size(), 1);
    EXPECT_TRUE(result.failures[0].contains("content type 'text/html'")) << result.failures[0].toStdString();
    expectFields(THSmartDeviceDatabase::driveDatabase(), {{"build", "5500"}, {"date", "2023-04-01"}, {"version", "7.3"}});
    EXPECT_TRUE(readFile(db).contains("VERSION: 7.3 $Id: drivedb.h 5500 2023-04-01 '" + server.url("/repo/drivedb.h").toUtf8() + "' $"))
        << "no smartmontools in a loopback address: the whole address is the author";
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_TRUE(!rebuilt.isEmpty() || rebuilt.wait(2000));

    const QByteArray first = readFile(db);
    server.route("/mirror/drivedb.h", {200, "text/x-chdr", database()});
    server.route("/mirror/commits", {200, "text/html", mirrorLog("https", 5600, "2024-02-03")});
    const DriveDbSource mirror{server.url("/mirror/drivedb.h"), server.url("/mirror/commits"), DriveDatabaseUpdater::expressionB("https")};
    result = update({mirror});
    EXPECT_EQ(result.outcome, Outcome::Updated);
    expectFields(THSmartDeviceDatabase::driveDatabase(), {{"build", "5600"}, {"date", "2024-02-03"}});
    EXPECT_EQ(readFile(old), first);

    const QByteArray second = readFile(db);
    result = update({mirror});
    EXPECT_EQ(result.message(), "Drive database is already current (build 5600).");
    EXPECT_EQ(readFile(db), second);
    EXPECT_EQ(readFile(old), first);
}

TEST_F(DatabaseUpdate, NothingButACompleteNewerDatabaseReplacesTheInstalledOne)
{
    ASSERT_TRUE(update({plain("/good/drivedb.h")}).outcome == Outcome::Failed); // 404, nothing installed
    EXPECT_FALSE(QFile::exists(db));
    server.route("/good/drivedb.h", {200, "text/plain", stamped(5000)});
    ASSERT_EQ(update({plain("/good/drivedb.h")}).outcome, Outcome::Updated);
    server.route("/good2/drivedb.h", {200, "text/plain", stamped(5001)});
    ASSERT_EQ(update({plain("/good2/drivedb.h")}).outcome, Outcome::Updated);
    const QByteArray installed = readFile(db), kept = readFile(old);

    const QByteArray full = stamped(6000);
    using Route = LoopbackHttpServer::Route;
    const QList<std::tuple<QString, Route, QString>> cases{
        {"/html-as-text/drivedb.h", {200, "text/plain", "<html><body>502 Bad Gateway</body></html>"}, "not a drive database"},
        {"/cut/drivedb.h", {200, "text/plain", full.left(full.size() / 2), "", full.size()}, ""}, // Qt's words for it
        {"/short/drivedb.h", {200, "text/plain", full.left(full.size() - 40)}, "the file is incomplete"},
        {"/older/drivedb.h", {200, "text/plain", stamped(4999)}, "build 4999 is older than the installed build 5001"},
        {"/named/file", {200, "text/plain", full, "attachment; filename=\"index.html\""}, "file name 'index.html' is not drivedb.h"},
        {"/slow/drivedb.h", {200, "text/plain", full, "", -1, true}, "timed out"},
        {"/missing/drivedb.h", {404, "text/html", "<html>Not Found</html>"}, "HTTP status 404"},
    };
    for (const auto &[path, route, why] : cases) {
        server.route(path, route);
        const DriveDatabaseUpdater::Result result = update({plain(path)}, 300);
        EXPECT_EQ(result.message(), "Drive database update failed; the database in use is unchanged.") << path.toStdString();
        ASSERT_EQ(result.failures.size(), 1) << path.toStdString();
        EXPECT_TRUE(result.failures[0].endsWith(why)) << result.failures[0].toStdString();
        EXPECT_EQ(readFile(db), installed) << path.toStdString();
        EXPECT_EQ(readFile(old), kept) << path.toStdString();
    }
    server.route("/nohistory/drivedb.h", {200, "text/plain", database()});
    const DriveDatabaseUpdater::Result result =
        update({{server.url("/nohistory/drivedb.h"), server.url("/nohistory/log"), DriveDatabaseUpdater::expressionA()}});
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(readFile(db), installed);
}

TEST_F(DatabaseUpdate, OneRefreshAtATime)
{
    server.route("/slow/drivedb.h", {200, "text/plain", stamped(7000), "", -1, true});
    DriveDatabaseUpdater first;
    first.setSources({plain("/slow/drivedb.h")});
    first.setTimeout(500);
    ASSERT_TRUE(first.start());
    DriveDatabaseUpdater second;
    QSignalSpy busy(&second, &DriveDatabaseUpdater::finished);
    EXPECT_FALSE(second.start());
    ASSERT_EQ(busy.size(), 1);
    EXPECT_EQ(busy[0][0].value<DriveDatabaseUpdater::Result>().outcome, Outcome::Busy);
    EXPECT_FALSE(first.start());
    QSignalSpy done(&first, &DriveDatabaseUpdater::finished);
    ASSERT_TRUE(done.wait(5000));
    EXPECT_FALSE(first.isRunning());
}

TEST(DriveDbHistory, NewestRecordOfEachPageKind)
{
    const auto newest = [](const QByteArray &page, const QString &expression) {
        return DriveDatabaseUpdater::builddateFromCommitslog(QString::fromUtf8(page), expression);
    };
    const QString a = DriveDatabaseUpdater::expressionA();
    EXPECT_EQ(newest(repositoryLog(5412, "2022-11-30"), a), "5412 2022-11-30");
    EXPECT_EQ(newest(mirrorLog("http", 17, "2021-06-07"), DriveDatabaseUpdater::expressionB("http")), "17 2021-06-07");
    EXPECT_EQ(newest(mirrorLog("http", 17, "2021-06-07"), DriveDatabaseUpdater::expressionB("https")), "");
    EXPECT_EQ(newest("<tr class=\"rev\">nothing here", a), "- -");
    // One record only: it runs to the end of the page.
    EXPECT_EQ(newest("<tr class=\"rev\"><div class=a revision=\"99999\"> 2020-02-02", a), "99999 2020-02-02");
    EXPECT_EQ(DriveDatabaseUpdater::stampVersion("x VERSION: 7.4 $id$ y", "12 2020-01-01", "https://h/p/smartmontools/code/x"),
              "x VERSION: 7.4 $Id: drivedb.h 12 2020-01-01 'https://h/p/smartmontools' $ y");
    EXPECT_EQ(DriveDatabaseUpdater::stampVersion(kExpandedLine, "12 2020-01-01", "u"), kExpandedLine);

    const QList<DriveDbSource> sources = DriveDatabaseUpdater::defaultSources(QString());
    ASSERT_EQ(sources.size(), 3);
    for (const DriveDbSource &s : sources)
        EXPECT_TRUE(s.database.startsWith("https://") && s.commits.startsWith("https://")) << s.database.toStdString();
    EXPECT_EQ(DriveDatabaseUpdater::defaultSources("https://maker.example/smartdb/drivedb.h").size(), 4);
}

TEST_F(DatabaseUpdate, VendorDatabaseDownloadKeepsAGoodCopy)
{
    const QByteArray v1 = "# Version: 2024.01.02\n1000  Maker One\n\t0001  Device\n";
    const QByteArray v2 = "# Version: 2024.03.04\n1000  Maker One\n2000  Maker Two\n";
    auto download = [this](const QString &path) {
        thDownload d;
        d.setTimeout(300);
        d.setValidator(&thDownload::validatePciIds);
        QSignalSpy spy(&d, &thDownload::downloadStatusUpdate);
        EXPECT_TRUE(d.downloadFrom(server.url(path), thVendorDB::downloadedPath()));
        EXPECT_FALSE(d.downloadFrom(server.url(path), thVendorDB::downloadedPath())) << "one at a time";
        EXPECT_TRUE(spy.wait(5000));
        return spy.value(0).value(2).toString();
    };
    server.route("/v1", {200, "text/plain", v1});
    server.route("/v2", {200, "text/plain", v2});
    server.route("/html", {200, "text/html", "<html>Service Unavailable</html>"});
    EXPECT_EQ(download("/v1"), "pass");
    EXPECT_EQ(download("/v2"), "pass");
    EXPECT_EQ(download("/html"), "not a pci.ids file");
    EXPECT_EQ(download("/v1"), "version 2024.01.02 is older than the installed 2024.03.04");
    EXPECT_EQ(download("/gone"), "HTTP status 404");
    EXPECT_EQ(readFile(thVendorDB::downloadedPath()), v2);
    EXPECT_EQ(readFile(thVendorDB::downloadedPath() + ".old"), v1);
}

} // namespace
