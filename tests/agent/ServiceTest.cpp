// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "XPCServer.h"

#include <QDBusPendingCall>
#include <QDBusPendingReply>

namespace {

struct ServiceFixture : NotifyingFixture
{
    void SetUp() override
    {
        NotifyingFixture::SetUp();
        ASSERT_EQ(xpc.start(bus.connect()), XPCServer::Start::Listening);
        watcher = std::make_unique<SMARTWatcher>(source, *defaults);
        watcher->setContainer(home.filePath("group"));
        watcher->setBus(bus.connect());
        QObject::connect(&xpc, &XPCServer::shouldReloadDevices, watcher.get(), &SMARTWatcher::shouldGatherDrives);
        QObject::connect(watcher.get(), &SMARTWatcher::gathered, [this](bool notify) { gathers.append(notify); });
    }
    void TearDown() override { source.release(); } // a failed check must not leave the gather hanging
    static QDBusMessage message(const char *method)
    {
        return QDBusMessage::createMethodCall(kAgentServiceName, "/agent", "com.tarnholm.Corvane_HelperProtocol", method);
    }
    QDBusPendingCall call(const char *method) { return client.asyncCall(message(method)); }
    static QString text(QDBusPendingCall pending)
    {
        if (!waitUntil([&] { return pending.isFinished(); }))
            return QStringLiteral("(no reply)");
        const QDBusPendingReply<QString> reply = pending;
        return reply.isError() ? reply.error().message() : reply.value();
    }

    XPCServer xpc;
    BlockingSource source;
    QDBusConnection client = bus.connect();
    std::unique_ptr<SMARTWatcher> watcher;
    QList<bool> gathers;
};

} // namespace

TEST_F(ServiceFixture, RepliesWhileAGatherHangsReloadsCoalesceAndTheNameIsTaken)
{
    int started = 0;
    QObject::connect(watcher.get(), &SMARTWatcher::gatherStarted, [&] { ++started; });
    watcher->rescan();
    ASSERT_TRUE(waitUntil([&] { return source.reads() == 1; }));

    EXPECT_EQ(text(call("version")), QString::number(CORVANE_BUILD_NUMBER));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(text(call("reloadAgentDrivesWithReply")), "Requested reload");
    EXPECT_TRUE(watcher->isGathering());
    EXPECT_TRUE(gathers.isEmpty());

    source.release();
    ASSERT_TRUE(waitUntil([&] { return watcher->isIdle() && gathers.size() == 2; }));
    drainEvents();
    EXPECT_EQ(source.reads(), 2);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(gathers, QList<bool>({false, false}));
    ASSERT_EQ(watcher->smartDrives().size(), 1);
    EXPECT_EQ(watcher->smartDrives().first().health, "Failed");

    QDBusMessage noReply = message("reloadAgentDrives");
    noReply.setAutoStartService(false);
    ASSERT_TRUE(client.send(noReply));
    ASSERT_TRUE(waitUntil([&] { return gathers.size() == 3 && watcher->isIdle(); }));
    // A call that must come after the last reload: nothing more was queued.
    EXPECT_EQ(text(call("version")), XPCServer::buildNumber());
    drainEvents();
    EXPECT_EQ(gathers, QList<bool>({false, false, false}));
    EXPECT_EQ(source.reads(), 3);

    XPCServer second;
    EXPECT_EQ(second.start(bus.connect()), XPCServer::Start::AlreadyRunning);
    EXPECT_EQ(second.start(QDBusConnection(QStringLiteral("nothing"))), XPCServer::Start::NoBus);
}

using AgentProgram = NotifyingFixture;

TEST_F(AgentProgram, SecondInstanceSaysSoAndExits0)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const QString dir : {"config", "data", "state"})
        env.insert("XDG_" + dir.toUpper() + "_HOME", home.filePath(dir));
    const QStringList args{"--recorded", QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo")};

    QProcess first, second;
    for (QProcess *agent : {&first, &second})
        agent->setProcessEnvironment(env);
    first.start(QStringLiteral(CORVANE_AGENT), args);
    ASSERT_TRUE(first.waitForStarted(30000));
    const QString dataFile = home.filePath("data/K7QX2W9R4D.com.tarnholm.corvane/data.json");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(dataFile) || first.state() != QProcess::Running; }, 60000));
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().constData();

    second.start(QStringLiteral(CORVANE_AGENT), args);
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput(), "corvane-agent is already running in this session\n");
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    first.waitForFinished(10000);
}
