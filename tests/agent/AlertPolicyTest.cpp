// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "AlertPolicy.h"

namespace {

const QDateTime kStart(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
QDateTime at(int hours, int seconds = 0) { return kStart.addSecs(hours * 3600 + seconds); }
QVariantMap counters(qint64 reallocated, qint64 pending = 0) { return {{"reallocated", reallocated}, {"pending", pending}}; }

struct Drive
{
    std::optional<AlertMemory> memory;
    bool see(const char *health, const QVariantMap &c, const QDateTime &now, std::chrono::hours reminder = 24h)
    {
        const AlertDecision d = decideAlert(QString::fromLatin1(health), c, memory, now, reminder);
        memory = d.memory ? d.memory : memory;
        return d.alert;
    }
};

TEST(AlertPolicy, OnlyNewsAndDueRemindersAlert)
{
    Drive drive;
    EXPECT_FALSE(drive.see("Passed", counters(0), at(0)));
    EXPECT_FALSE(drive.see("-", counters(0), at(0)));
    EXPECT_FALSE(drive.memory.has_value());

    EXPECT_TRUE(drive.see("Warning", counters(8, 2), at(0)));
    EXPECT_FALSE(drive.see("Warning", counters(8, 2), at(1)));
    EXPECT_FALSE(drive.see("-", {}, at(2))); // no verdict changes nothing
    EXPECT_EQ(drive.memory, (AlertMemory{"Warning", counters(8, 2), at(0), false}));
    EXPECT_FALSE(drive.see("warning", counters(9, 2), at(2)));
    EXPECT_TRUE(drive.see("Failed", counters(8, 2), at(3)));

    // Better but still bad: remembered at the better health, so worse again is news.
    EXPECT_FALSE(drive.see("Warning", counters(8, 2), at(4)));
    EXPECT_EQ(drive.memory, (AlertMemory{"Warning", counters(8, 2), at(3), false}));
    EXPECT_TRUE(drive.see("Failed", counters(8, 2), at(5)));

    // A damage counter that grew is news; wear is not; a first value is a base.
    EXPECT_TRUE(drive.see("Failed", counters(9, 2), at(6)));
    QVariantMap more = counters(9, 2);
    more.insert(QStringLiteral("percentageUsed"), 99);
    more.insert(QStringLiteral("crcErrors"), 5);
    EXPECT_FALSE(drive.see("Failed", more, at(7)));
    more.insert(QStringLiteral("percentageUsed"), 100);
    EXPECT_FALSE(drive.see("Failed", more, at(7)));
    more.insert(QStringLiteral("crcErrors"), 6);
    EXPECT_TRUE(drive.see("Failed", more, at(8)));

    // Pending sectors that went away are the new base: coming back is news.
    EXPECT_FALSE(drive.see("Failed", counters(9, 0), at(9)));
    EXPECT_EQ(drive.memory->counters.value("pending"), 0);
    EXPECT_EQ(drive.memory->lastAlert, at(8));
    EXPECT_TRUE(drive.see("Failed", counters(9, 1), at(10)));

    EXPECT_FALSE(drive.see("Passed", counters(9, 1), at(11)));
    EXPECT_EQ(drive.memory->health, "Passed");
    EXPECT_FALSE(decideAlert("Passed", counters(9, 5), drive.memory, at(12), 24h).memory);
    EXPECT_TRUE(drive.see("Warning", counters(9, 1), at(13)));

    // A memory without a verdict (a post that never reached the screen) is none.
    drive.memory = AlertMemory{"-", {}, {}, false};
    EXPECT_TRUE(drive.see("Warning", counters(9, 1), at(14)));

    drive = {};
    ASSERT_TRUE(drive.see("Failed", counters(1), at(0)));
    // A gather landing up to ten minutes short of the period counts.
    EXPECT_FALSE(drive.see("Failed", counters(1), at(23, 50 * 60 - 1)));
    EXPECT_TRUE(drive.see("Failed", counters(1), at(23, 50 * 60)));
    EXPECT_FALSE(drive.see("Failed", counters(1), at(25), 2h));
    EXPECT_TRUE(drive.see("Failed", counters(1), at(26), 2h));
    EXPECT_FALSE(drive.see("Failed", counters(1), at(1000), 0h)); // 0: never
    EXPECT_TRUE(drive.see("Failed", counters(1), at(0)));

    // "Don't remind me": no reminders; worse health or a growing counter ends it.
    Drive silent{AlertMemory{"Warning", counters(1), at(0), true}};
    EXPECT_FALSE(silent.see("Warning", counters(1), at(100)));
    EXPECT_TRUE(silent.see("Warning", counters(2), at(101)));
    EXPECT_FALSE(silent.memory->silenced);
    silent.memory->silenced = true;
    EXPECT_TRUE(silent.see("Failed", counters(2), at(102)));
    EXPECT_EQ(silent.memory, (AlertMemory{"Failed", counters(2), at(102), false}));
    silent.memory->silenced = true;
    EXPECT_FALSE(silent.see("Passed", counters(2), at(103))); // so does recovering
    EXPECT_FALSE(silent.memory->silenced);
}

struct AlertsFixture : NotifyingFixture
{
    static SMARTDrive drive(const char *model, const char *health, const char *bsd = "sda") { return summary(bsd, model, health); }
    static void gather(Notifier &notifier, const QList<SMARTDrive> &drives, int hours)
    {
        for (const SMARTDrive &d : drives)
            notifier.consider(d, d.hwName + "|serial", counters(3), at(hours));
        ASSERT_TRUE(waitUntil([&] { return notifier.isIdle(); }));
    }
    static QString body(const char *subtitle) { return QString::fromLatin1(subtitle) + "\nOpen Corvane for details..."; }
};

} // namespace

TEST_F(AlertsFixture, EachDriveKeepsItsOwnNotification)
{
    Notifier notifier(*defaults, bus.connect());
    const SMARTDrive failing = drive("WDC WD40EFRX", "Failed"), warning = drive("ST4000DM004", "Warning");
    gather(notifier, {failing, warning}, 0);
    gather(notifier, {failing, warning}, 1);
    ASSERT_EQ(server.calls.size(), 2);
    EXPECT_EQ(server.shown, (QMap<uint, QString>{{41, body("WDC WD40EFRX Failed")}, {42, body("ST4000DM004 Warning")}}));

    defaults->setValue(kAlertReminderHoursKey, 2);
    gather(notifier, {failing, warning}, 2);
    EXPECT_EQ(server.replaced, (QList<uint>{0, 0, 41, 42}));

    QStringList silenced;
    QObject::connect(&notifier, &Notifier::silenced, [&](const QString &identity) { silenced.append(identity); });
    notifier.setOpenApplication([] {}); // not the real application
    server.click(41, "default");
    server.click(42, "silence");
    ASSERT_TRUE(waitUntil([&] { return !silenced.isEmpty(); }));
    EXPECT_EQ(silenced, QStringList{"ST4000DM004|serial"});
    gather(notifier, {failing, warning}, 4);
    EXPECT_EQ(server.replaced, (QList<uint>{0, 0, 41, 42, 41}));
    gather(notifier, {drive("ST4000DM004", "Failed")}, 5);
    ASSERT_EQ(server.calls.size(), 6);
    EXPECT_EQ(server.shown.value(42), body("ST4000DM004 Failed"));

    defaults->setValue("ShouldNotifyUser", false);
    gather(notifier, {drive("Samsung SSD 870", "Failed")}, 6);
    defaults->setValue("ShouldNotifyUser", true);
    gather(notifier, {drive("Samsung SSD 870", "Failed")}, 6);
    EXPECT_EQ(server.calls.size(), 7);
}

TEST_F(AlertsFixture, MemoryOutlivesTheAgent)
{
    const QString file = home.filePath("history.sqlite");
    const SMARTDrive failing = drive("WDC WD40EFRX", "Failed");
    {
        HistoryDatabase history(file);
        QString why;
        ASSERT_TRUE(history.open(&why)) << why.toStdString();
        HistoryAlertStore store(history);
        Notifier notifier(*defaults, bus.connect());
        notifier.setMemoryStore(&store);
        gather(notifier, {failing}, 0);
        ASSERT_EQ(server.calls.size(), 1);
        bool silenced = false;
        QObject::connect(&notifier, &Notifier::silenced, [&] { silenced = true; });
        server.click(server.calls[0].returnedId, "silence");
        ASSERT_TRUE(waitUntil([&] { return silenced; }));
    }
    HistoryDatabase history(file);
    ASSERT_TRUE(history.open());
    HistoryAlertStore store(history);
    Notifier notifier(*defaults, bus.connect());
    notifier.setMemoryStore(&store);
    gather(notifier, {failing}, 48);
    EXPECT_EQ(server.calls.size(), 1);
    EXPECT_EQ(store.alertMemory("WDC WD40EFRX|serial"), (AlertMemory{"Failed", counters(3), at(0), true}));

    // A post that fails is not remembered as told: the next gather tries again.
    server.stop();
    gather(notifier, {drive("ST4000DM004", "Warning")}, 49);
    ASSERT_TRUE(server.start());
    gather(notifier, {drive("ST4000DM004", "Warning")}, 50);
    EXPECT_EQ(server.calls.size(), 2);
}

TEST_F(AlertsFixture, PermissionIsWhetherAServerAnswersAndAlertsDoNotPileUp)
{
    server.stop();
    defaults->setValue("ShouldNotifyUser", true); // from an earlier launch
    QList<bool> answers;
    Notifier notifier(*defaults, bus.connect());
    QObject::connect(&notifier, &Notifier::permissionAnswered, [&](bool granted) { answers.append(granted); });
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 1; }));
    EXPECT_FALSE(defaults->boolValue("ShouldNotifyUser"));

    ASSERT_TRUE(server.start());
    notifier.notifyUser(drive("ST4000", "Failed"));
    EXPECT_TRUE(notifier.isIdle());

    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers, QList<bool>({false, true}));
    EXPECT_TRUE(defaults->boolValue("ShouldNotifyUser"));
    EXPECT_EQ(server.informationRequests, 1);
    EXPECT_TRUE(server.calls.isEmpty());

    Notifier lonely(*defaults, QDBusConnection(QStringLiteral("no-bus")));
    for (int i = 0; i < 50; ++i)
        lonely.notifyUser(drive("m", "Failed"));
    EXPECT_TRUE(lonely.isIdle());

    server.silent = true;
    for (int i = 0; i < 50; ++i)
        notifier.notifyUser(drive("m", "Failed", QByteArray("sd").append(QByteArray::number(i)).constData()));
    ASSERT_TRUE(waitUntil([&] { return server.unanswered == 1; }));
    EXPECT_EQ(notifier.queued(), 8);
}

TEST_F(AlertsFixture, AlertsReplaceEachOtherClicksOpenAndAVanishedServerForgetsTheId)
{
    Notifier notifier(*defaults, bus.connect());
    QStringList failures;
    QObject::connect(&notifier, &Notifier::postFailed, [&](const QString &e) { failures.append(e); });
    int opened = 0;
    notifier.setOpenApplication([&] { ++opened; });

    notifier.notifyUser(drive("Samsung SSD 870", "Warning"));
    notifier.notifyUser(drive("WDC WD40EFRX", "Failed"));
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 2 && notifier.isIdle(); }));

    const auto &first = server.calls[0];
    EXPECT_EQ(QStringList({first.appName, first.icon, first.summary, first.body, QString::number(first.timeout),
                           QString::number(first.replacesId)}),
              QStringList({"Corvane", "drive-harddisk", "Corvane Alert", body("Samsung SSD 870 Warning"), "-1", "0"}));
    EXPECT_EQ(first.actions, QStringList({"default", "Open Corvane", "silence", "Don't remind me"}));
    EXPECT_TRUE(first.hints.contains("sound-name"));
    EXPECT_EQ(server.calls[1].replacesId, first.returnedId);
    const uint id = first.returnedId;
    EXPECT_EQ(notifier.currentId(), id);

    server.click(id + 1000, "default"); // someone else's notification
    server.click(id, "other-action");
    server.click(id, "default");
    ASSERT_TRUE(waitUntil([&] { return opened == 1; }));
    drainEvents();
    EXPECT_EQ(opened, 1);

    server.stop();
    notifier.notifyUser(drive("m", "Failed"));
    notifier.notifyUser(drive("n", "Warning", "sdb"));
    ASSERT_TRUE(waitUntil([&] { return notifier.isIdle() && failures.size() == 2; }));
    EXPECT_EQ(notifier.currentId(), 0u);
    ASSERT_TRUE(server.start());
    notifier.notifyUser(drive("n", "Warning", "sdb"));
    ASSERT_TRUE(waitUntil([&] { return notifier.isIdle() && server.calls.size() == 3; }));
    EXPECT_EQ(server.calls[2].replacesId, 0u);
}
