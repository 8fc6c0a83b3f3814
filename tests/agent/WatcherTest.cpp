// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"

namespace {

QStringList g_agentLog;

struct WatcherFixture : NotifyingFixture
{
    void SetUp() override
    {
        NotifyingFixture::SetUp();
        notifier = std::make_unique<Notifier>(*defaults, bus.connect());
        watcher = std::make_unique<SMARTWatcher>(source, *defaults);
        watcher->setNotifier(notifier.get());
        watcher->setVolumeEvents(&volumes);
        watcher->setContainer(home.filePath("group"));
        watcher->setBus(bus.connect());
        watcher->setTiming({24h, 24h});
        QObject::connect(watcher.get(), &SMARTWatcher::gathered, [this](bool notify) { gathers << notify; files << dataFile(); });
        g_agentLog.clear();
        previousHandler = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &message) {
            if (QByteArray(context.category) == "corvane.agent")
                g_agentLog.append(message);
        });
    }
    void TearDown() override { qInstallMessageHandler(previousHandler); }

    QJsonArray dataFile() const
    {
        QFile f(home.filePath("group/data.json"));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
    }
    static QStringList column(const QJsonArray &array, const QStringList &members)
    {
        QStringList out;
        for (const auto &v : array) {
            QStringList values;
            for (const QString &m : members)
                values << v.toObject()[m].toString();
            out.append(values.join('|'));
        }
        return out;
    }
    QStringList names() const
    {
        QStringList out;
        for (const SMARTDrive &d : watcher->smartDrives())
            out.append(d.bsdName);
        return out;
    }
    void settle() { ASSERT_TRUE(waitUntil([this] { return (!watcher || watcher->isIdle()) && notifier->isIdle(); })); }
    void rescan()
    {
        watcher->rescan();
        settle();
    }

    ReloadListener widget{bus.connect()};
    CannedDriveSource source;
    ManualVolumeEvents volumes;
    std::unique_ptr<Notifier> notifier;
    std::unique_ptr<SMARTWatcher> watcher;
    QList<bool> gathers;
    QList<QJsonArray> files;
    QtMessageHandler previousHandler = nullptr;
};

QVariantMap unreadable(const QString &bsd)
{
    QVariantMap p = driveProperties(bsd, "Samsung SSD 980", QVariant(), {"Home"});
    p.insert(kReadErrorKey, "permission denied: NVMe admin commands need CAP_SYS_ADMIN");
    return p;
}

} // namespace

TEST_F(WatcherFixture, StartUpThenTimersOnARecordedSet)
{
    source.setDrives({driveProperties("sdc", "ST4000DM004", "Warning", {"Media"}, "External"),
                      driveProperties("sda", "Samsung SSD 870", "Passed", {"Root", "Home"}), unreadable("nvme0n1"),
                      driveProperties("sdb", "WDC WD40EFRX", "Failed")});
    watcher->setTiming({20ms, 400ms});
    watcher->start();
    ASSERT_TRUE(waitUntil([&] { return gathers.size() >= 3; }));
    watcher.reset(); // stops the timers
    settle();

    // At once and after the start-up delay without alerts; the hourly tick alerts.
    EXPECT_EQ(gathers.mid(0, 3), QList<bool>({false, false, true}));

    ASSERT_EQ(files.size(), gathers.size());
    for (const QJsonArray &file : std::as_const(files))
        EXPECT_EQ(column(file, {"bsdName", "volName", "health", "location"}),
                  QStringList({"nvme0n1|Home|-|Internal", "sda|Root, Home|Passed|Internal", "sdb||Failed|Internal",
                               "sdc|Media|Warning|External"}));
    EXPECT_NE(column(files[0], {"id"}), column(files[1], {"id"}));
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == gathers.size(); }));

    ASSERT_EQ(server.calls.size(), 2);
    EXPECT_TRUE(server.calls[0].body.startsWith("WDC WD40EFRX Failed"));
    EXPECT_TRUE(server.calls[1].body.startsWith("ST4000DM004 Warning"));

    EXPECT_EQ(g_agentLog.filter("nvme0n1: SMART data not readable").size(), 1) << g_agentLog.join('\n').toStdString();
}

TEST_F(WatcherFixture, OnlyMountsAndTimerTicksAlertAndUnmountRemovesOnlyAnEjectedDrive)
{
    source.setDrives({driveProperties("sda", "A", "Failed"), driveProperties("sdb", "B", "Passed"),
                      driveProperties("sdc", "C", QVariant()), driveProperties("sdd", "D", "failed")});
    watcher->rescan();
    watcher->shouldGatherDrives();
    watcher->reloadSMARTData({});
    watcher->reloadSMARTData({{"notify", "yes"}});
    volumes.unmount("/media/u/Other");
    settle();
    EXPECT_EQ(gathers, QList<bool>({false}));
    EXPECT_TRUE(server.calls.isEmpty());

    volumes.didMount({});
    volumes.didMount({{"NSDevicePath", 5}});
    volumes.didUnmount({{"NSDevicePath", QStringList{"/x"}}});
    settle();
    EXPECT_EQ(gathers.size(), 1);

    // Alerts go out after the list is published and written, never before.
    QList<bool> alertPendingAtPublish;
    QObject::connect(watcher.get(), &SMARTWatcher::smartDrivesChanged, [&] { alertPendingAtPublish << !notifier->isIdle(); });
    volumes.mount("/media/u/Stick");
    settle();
    EXPECT_EQ(gathers.last(), true);
    EXPECT_EQ(alertPendingAtPublish, QList<bool>{false});
    ASSERT_EQ(server.calls.size(), 1); // only the exact word "Failed" or "Warning"
    source.setDrives({driveProperties("sda", "A", "Failed"), driveProperties("sdb", "B", "Warning")});
    watcher->reloadSMARTData({{"notify", true}});
    settle();
    EXPECT_EQ(server.calls.size(), 2); // sdb's news; sda's is old

    // A volume keeps its name after unmounting; only an external drive none
    // of whose volumes is mounted any more counts as ejected.
    auto stillMounted = driveProperties("sdb", "B", "Passed", {"System", "Data"}, "External");
    stillMounted.insert(kVolumesMountedKey, true);
    source.setDrives({driveProperties("sda", "A", "Passed", {"Data Backup"}, "External"), stillMounted,
                      driveProperties("sdc", "C", "Passed", {"Data"}, "External"),
                      driveProperties("nvme1n1", "N", "Failed", {"scratch"})});
    rescan();
    ASSERT_EQ(names(), QStringList({"nvme1n1", "sda", "sdb", "sdc"}));

    volumes.unmount("/media/u/Data/");
    settle();
    EXPECT_EQ(gathers.size(), 5);
    EXPECT_EQ(names(), QStringList({"nvme1n1", "sda", "sdb"}));
    EXPECT_EQ(column(dataFile(), {"bsdName"}), QStringList({"nvme1n1", "sda", "sdb"}));
    ASSERT_TRUE(waitUntil([&] { return widget.kinds.size() == 6; })); // a reload per gather, and one for the rewrite

    volumes.unmount("/tmp/scratch");
    volumes.unmount("/media/u/Dat");
    volumes.unmount("/");
    settle();
    EXPECT_EQ(names(), QStringList({"nvme1n1", "sda", "sdb", "sdc"}));
}

TEST_F(WatcherFixture, SettingsChangedByAnotherProcessReachTheNextGather)
{
    source.setDrives({driveProperties("sda", "A", "Passed")});
    rescan();
    EXPECT_EQ(source.lastIgnoreAttributes(), defaultIgnoreAttributes());

    ASSERT_EQ(storeSetting(defaults->fileName(), "ignoreAttributes", R"({"a5": true, "a194": false})"), 0);
    rescan();
    EXPECT_EQ(source.lastIgnoreAttributes(), (QVariantMap{{"a5", true}, {"a194", false}}));

    const QJsonArray before = dataFile();
    ASSERT_EQ(storeSetting(defaults->fileName(), "ignoreAttributes", "42"), 0);
    source.setDrives({});
    const int reads = source.reads();
    rescan();
    EXPECT_EQ(source.reads(), reads);
    EXPECT_EQ(names(), QStringList{"sda"});
    EXPECT_EQ(dataFile(), before);
    EXPECT_EQ(gathers.size(), 2);

    defaults->remove("ignoreAttributes");
    rescan();
    EXPECT_TRUE(names().isEmpty());
    EXPECT_EQ(dataFile(), QJsonArray());

    // A read error is logged again once the drive was read in between.
    g_agentLog.clear();
    for (const QVariantMap &p : {unreadable("sda"), driveProperties("sda", "A", QVariant()), unreadable("sda")}) {
        source.setDrives({p});
        rescan();
    }
    EXPECT_EQ(g_agentLog.filter("sda: SMART data not readable").size(), 2) << g_agentLog.join('\n').toStdString();
}
