// SPDX-License-Identifier: GPL-3.0-or-later
// A writer killed at random points leaves each file it replaces as it was or as it was going to be.
#include "support/EventLoop.h"
#include "CrashVersions.h"
#include "QStringPrinter.h"
#include "database/DriveDatabaseFile.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

using namespace corvane;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Twenty times: runs crash_writer past its first write and a random while more, kills it
// (SIGKILL); `check` sees the file after each kill.
void killLoop(const char *kind, const QString &file, const std::function<void(int round)> &check)
{
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delay(0, 40000);
    for (int round = 0; round < 20 && !::testing::Test::HasFailure(); ++round) {
        QProcess writer;
        writer.start(QStringLiteral(CRASH_WRITER), {QLatin1String(kind), file});
        ASSERT_TRUE(writer.waitForReadyRead(60000) && writer.readLine().startsWith("written")) << "crash_writer did not run";
        usleep(useconds_t(delay(random)));
        writer.kill();
        writer.waitForFinished();
        check(round);
    }
}

TEST(CrashSafety, DataJsonDriveDatabaseAndSettingsAreOldOrNew)
{
    test::app();
    QTemporaryDir dir;
    const QString data = dir.filePath(QLatin1String(kWidgetDataFileName));
    const QString db = dir.filePath(QStringLiteral("group/drivedb.h"));
    ASSERT_EQ(writeDrivesForWidget(test::crashDrives(false), dir.path(), QDBusConnection(QStringLiteral("no-bus"))),
              WidgetWrite::Written);
    ASSERT_TRUE(writeDriveDBFile(db, test::crashDriveDB(false)));
    const struct { const char *kind; QString file; QByteArray a, b; } files[] = {
        {"datajson", data, encodeDrivesForWidget(test::crashDrives(false)), encodeDrivesForWidget(test::crashDrives(true))},
        {"drivedb", db, test::crashDriveDB(false), test::crashDriveDB(true)}};
    for (const auto &f : files) {
        ASSERT_EQ(fileBytes(f.file), f.a) << f.kind;
        killLoop(f.kind, f.file, [&](int round) {
            const QByteArray now = fileBytes(f.file);
            EXPECT_TRUE(now == f.a || now == f.b) << f.kind << " round " << round << ": " << now.size() << " bytes, neither version";
        });
    }

    // A text that isn't a drive database never replaces one that is.
    const QByteArray good = fileBytes(db);
    QString error;
    EXPECT_FALSE(writeDriveDBFile(db, "<html>502 Bad Gateway</html>", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(writeDriveDBFile(db, QByteArray("\xff\xfe\x00garbage", 10)));
    EXPECT_FALSE(writeDriveDBFile(db, QByteArray()));
    EXPECT_EQ(fileBytes(db), good);

    const QString file = dir.filePath(QStringLiteral("suite.conf"));
    SharedDefaults(file).setValue(QStringLiteral("payload"), test::crashSettings(false));
    killLoop("settings", file, [&](int round) {
        SharedDefaults defaults(file);
        const std::optional<QVariantMap> payload = defaults.dictionaryValue(QStringLiteral("payload"));
        ASSERT_TRUE(payload) << "round " << round << ": the settings lost their payload";
        const bool b = payload->value(QStringLiteral("version")).toString() == QLatin1String("b");
        const QVariantMap expected = test::crashSettings(b);
        ASSERT_EQ(payload->size(), expected.size()) << "round " << round;
        for (auto it = expected.begin(); it != expected.end(); ++it)
            ASSERT_EQ(payload->value(it.key()).toString(), it.value().toString()) << "round " << round << " key " << it.key().toStdString();
        // Nothing was found corrupt and set aside.
        EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*corrupt*")}, QDir::Files | QDir::Hidden).isEmpty());
    });
}

} // namespace
