// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "AlertPolicy.h"
#include "Notifier.h"
#include "platform/SharedDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;
using namespace std::chrono_literals;

namespace {

const QDateTime t0 = QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);

QVariantMap counters(qint64 reallocated, qint64 pending)
{
    return {{QStringLiteral("reallocated"), reallocated}, {QStringLiteral("pending"), pending}};
}

// Runs the policy and keeps its memory, as the notifier does.
struct Drive
{
    std::optional<AlertMemory> memory;
    bool see(const char *health, const QVariantMap &c, const QDateTime &now, std::chrono::hours reminder = 24h)
    {
        const AlertDecision d = decideAlert(QString::fromLatin1(health), c, memory, now, reminder);
        if (d.memory)
            memory = d.memory;
        return d.alert;
    }
};

} // namespace

TEST(AlertPolicy, OnlyNewsAlerts)
{
    Drive drive;
    EXPECT_FALSE(drive.see("Passed", counters(0, 0), t0));
    EXPECT_FALSE(drive.see("-", counters(0, 0), t0));
    EXPECT_FALSE(drive.memory.has_value());

    EXPECT_TRUE(drive.see("Warning", counters(8, 2), t0));
    EXPECT_EQ(drive.memory, (AlertMemory{"Warning", counters(8, 2), t0, false}));
    EXPECT_FALSE(drive.see("Warning", counters(8, 2), t0.addSecs(3600)));
    EXPECT_FALSE(drive.see("-", {}, t0.addSecs(7200)));           // no verdict changes nothing
    EXPECT_FALSE(drive.see("warning", counters(9, 2), t0.addSecs(7200)));

    EXPECT_TRUE(drive.see("Failed", counters(8, 2), t0.addSecs(3 * 3600)));
    EXPECT_EQ(drive.memory, (AlertMemory{"Failed", counters(8, 2), t0.addSecs(3 * 3600), false}));

    // Better, still bad: remembered at the better health, so worse again is news.
    EXPECT_FALSE(drive.see("Warning", counters(8, 2), t0.addSecs(4 * 3600)));
    EXPECT_EQ(drive.memory, (AlertMemory{"Warning", counters(8, 2), t0.addSecs(3 * 3600), false}));
    EXPECT_TRUE(drive.see("Failed", counters(8, 2), t0.addSecs(5 * 3600)));

    // A damage counter that grew is news; wear and heat are not.
    const QDateTime t6 = t0.addSecs(6 * 3600);
    EXPECT_TRUE(drive.see("Failed", counters(9, 2), t6));
    QVariantMap warm = counters(9, 2);
    warm.insert(QStringLiteral("temperature"), 70);
    warm.insert(QStringLiteral("percentageUsed"), 99);
    EXPECT_FALSE(drive.see("Failed", warm, t6.addSecs(60)));
    warm.insert(QStringLiteral("crcErrors"), 5); // first seen: a base, not growth
    EXPECT_FALSE(drive.see("Failed", warm, t6.addSecs(120)));
    warm.insert(QStringLiteral("crcErrors"), 6);
    EXPECT_TRUE(drive.see("Failed", warm, t6.addSecs(180)));

    // Pending sectors that went away are the new base: coming back is news.
    EXPECT_FALSE(drive.see("Failed", counters(9, 0), t6.addSecs(240)));
    EXPECT_EQ(drive.memory->counters.value("pending").toLongLong(), 0);
    EXPECT_EQ(drive.memory->lastAlert, t6.addSecs(180));
    EXPECT_TRUE(drive.see("Failed", counters(9, 1), t6.addSecs(300)));

    // Healthy again, then in trouble again.
    EXPECT_FALSE(drive.see("Passed", counters(9, 1), t6.addSecs(360)));
    EXPECT_EQ(drive.memory->health, "Passed");
    EXPECT_FALSE(drive.see("Passed", counters(9, 1), t6.addSecs(420)));
    EXPECT_TRUE(drive.see("Warning", counters(9, 1), t6.addSecs(480)));

    // A memory without a verdict (a post that never reached the screen) is none.
    drive.memory = AlertMemory{"-", {}, {}, false};
    EXPECT_TRUE(drive.see("Warning", counters(9, 1), t6.addSecs(540)));
}

TEST(AlertPolicy, RemindersAndSilence)
{
    Drive drive;
    ASSERT_TRUE(drive.see("Failed", counters(1, 0), t0));
    // A gather landing up to ten minutes short of the period counts.
    EXPECT_FALSE(drive.see("Failed", counters(1, 0), t0.addSecs(23 * 3600 + 50 * 60 - 1)));
    EXPECT_TRUE(drive.see("Failed", counters(1, 0), t0.addSecs(23 * 3600 + 50 * 60)));
    const QDateTime t1 = t0.addSecs(23 * 3600 + 50 * 60);
    EXPECT_EQ(drive.memory->lastAlert, t1);
    EXPECT_FALSE(drive.see("Failed", counters(1, 0), t1.addSecs(3600), 2h));
    EXPECT_TRUE(drive.see("Failed", counters(1, 0), t1.addSecs(2 * 3600), 2h));
    EXPECT_FALSE(drive.see("Failed", counters(1, 0), t1.addSecs(1000 * 3600), 0h)); // 0: never
    // A last alert in the future: the clock was set back, don't wait for it.
    EXPECT_TRUE(drive.see("Failed", counters(1, 0), t0, 24h));

    // "Don't remind me": no reminders, but getting worse ends the silence.
    Drive silent;
    silent.memory = AlertMemory{"Warning", counters(1, 0), t0, true};
    EXPECT_FALSE(silent.see("Warning", counters(1, 0), t0.addSecs(100 * 3600)));
    EXPECT_FALSE(silent.see("Warning", counters(1, 0), t0, 0h));
    EXPECT_TRUE(silent.see("Warning", counters(2, 0), t0.addSecs(101 * 3600)));
    EXPECT_FALSE(silent.memory->silenced);
    silent.memory->silenced = true;
    EXPECT_TRUE(silent.see("Failed", counters(2, 0), t0.addSecs(102 * 3600)));
    EXPECT_EQ(silent.memory, (AlertMemory{"Failed", counters(2, 0), t0.addSecs(102 * 3600), false}));
    // Recovered: silence ends with the trouble.
    silent.memory->silenced = true;
    EXPECT_FALSE(silent.see("Passed", counters(2, 0), t0.addSecs(103 * 3600)));
    EXPECT_FALSE(silent.memory->silenced);
}

namespace {

struct AlertsFixture : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning());
        ASSERT_TRUE(server.start());
        defaults = std::make_unique<SharedDefaults>(home.filePath("suite.conf"));
        defaults->setValue("ShouldNotifyUser", true);
    }
    static SMARTDrive drive(const char *bsd, const char *model, const char *health)
    {
        return *SMARTDrive::fromProperties(driveProperties(bsd, model, QString::fromLatin1(health)));
    }
    // One alerting gather's worth of drives, its alerts delivered.
    void gather(Notifier &notifier, const QList<SMARTDrive> &drives, const QDateTime &now)
    {
        for (const SMARTDrive &d : drives)
            notifier.consider(d, d.hwName + "|serial", counters(3, 0), now);
        ASSERT_TRUE(waitUntil([&] { return notifier.isIdle(); }));
    }

    PrivateBus bus;
    TestNotificationServer server{bus.connect()};
    QTemporaryDir home;
    std::unique_ptr<SharedDefaults> defaults;
};

} // namespace

TEST_F(AlertsFixture, EachDriveKeepsItsOwnNotification)
{
    Notifier notifier(*defaults, bus.connect());
    const SMARTDrive failing = drive("sda", "WDC WD40EFRX", "Failed");
    const SMARTDrive warning = drive("sdb", "ST4000DM004", "Warning");
    gather(notifier, {failing, warning}, t0);
    gather(notifier, {failing, warning}, t0.addSecs(3600));
    ASSERT_EQ(server.calls.size(), 2);
    EXPECT_EQ(server.calls[0].actions,
              QStringList({"default", "Open Corvane", "silence", "Don't remind me"}));
    EXPECT_EQ(server.calls[1].replacesId, 0u);
    EXPECT_EQ(server.shown, (QMap<uint, QString>{{41, "WDC WD40EFRX Failed\nOpen Corvane for details..."},
                                                 {42, "ST4000DM004 Warning\nOpen Corvane for details..."}}));
    EXPECT_EQ(notifier.idOf("WDC WD40EFRX|serial"), 41u);

    // The reminder of one drive replaces only its own alert.
    defaults->setValue(kAlertReminderHoursKey, 2);
    gather(notifier, {failing, warning}, t0.addSecs(2 * 3600));
    ASSERT_EQ(server.calls.size(), 4);
    EXPECT_EQ(server.calls[2].replacesId, 41u);
    EXPECT_EQ(server.calls[3].replacesId, 42u);
    EXPECT_EQ(server.shown.size(), 2);

    // "Don't remind me" on the Warning silences that drive only.
    QStringList silenced;
    QObject::connect(&notifier, &Notifier::silenced, [&](const QString &identity) { silenced.append(identity); });
    int opened = 0;
    notifier.setOpenApplication([&] { ++opened; });
    server.click(42, "silence");
    server.click(41, "default"); // opening Corvane silences nothing
    ASSERT_TRUE(waitUntil([&] { return opened == 1; }));
    EXPECT_EQ(silenced, QStringList{"ST4000DM004|serial"});
    gather(notifier, {failing, warning}, t0.addSecs(4 * 3600));
    ASSERT_EQ(server.calls.size(), 5);
    EXPECT_EQ(server.calls[4].replacesId, 41u);
    gather(notifier, {failing, drive("sdb", "ST4000DM004", "Failed")}, t0.addSecs(5 * 3600));
    ASSERT_EQ(server.calls.size(), 6);
    EXPECT_EQ(server.calls[5].body, "ST4000DM004 Failed\nOpen Corvane for details...");
    EXPECT_EQ(server.calls[5].replacesId, 42u);

    // Without permission nothing is shown, and nothing counts as told.
    defaults->setValue("ShouldNotifyUser", false);
    const SMARTDrive third = drive("sdc", "Samsung SSD 870", "Failed");
    gather(notifier, {third}, t0.addSecs(6 * 3600));
    defaults->setValue("ShouldNotifyUser", true);
    gather(notifier, {third}, t0.addSecs(6 * 3600));
    EXPECT_EQ(server.calls.size(), 7);
}

TEST_F(AlertsFixture, MemoryOutlivesTheAgent)
{
    const QString file = home.filePath("history.sqlite");
    const SMARTDrive failing = drive("sda", "WDC WD40EFRX", "Failed");
    {
        HistoryDatabase history(file);
        QString why;
        ASSERT_TRUE(history.open(&why)) << why.toStdString();
        HistoryAlertStore store(history);
        Notifier notifier(*defaults, bus.connect());
        notifier.setMemoryStore(&store);
        gather(notifier, {failing}, t0);
        ASSERT_EQ(server.calls.size(), 1);
        bool silenced = false;
        QObject::connect(&notifier, &Notifier::silenced, [&] { silenced = true; });
        server.click(server.calls[0].returnedId, "silence");
        ASSERT_TRUE(waitUntil([&] { return silenced; }));
    }
    HistoryDatabase history(file);
    QString why;
    ASSERT_TRUE(history.open(&why)) << why.toStdString();
    HistoryAlertStore store(history);
    Notifier notifier(*defaults, bus.connect());
    notifier.setMemoryStore(&store);
    gather(notifier, {failing}, t0.addSecs(48 * 3600));
    EXPECT_EQ(server.calls.size(), 1);
    EXPECT_EQ(store.alertMemory("WDC WD40EFRX|serial"), (AlertMemory{"Failed", counters(3, 0), t0, true}));

    // A post that fails is not remembered as told: the next gather tries again.
    server.stop();
    const SMARTDrive other = drive("sdb", "ST4000DM004", "Warning");
    gather(notifier, {other}, t0.addSecs(49 * 3600));
    ASSERT_TRUE(server.start());

    gather(notifier, {other}, t0.addSecs(50 * 3600));
    ASSERT_EQ(server.calls.size(), 2);
    EXPECT_EQ(server.calls[1].body, "ST4000DM004 Warning\nOpen Corvane for details...");
}
