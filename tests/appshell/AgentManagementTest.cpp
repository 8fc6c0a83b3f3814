// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppShellTestSupport.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "MainWindow.h"
#include "browser/DriveBrowser.h"
#include "platform/SharedDefaults.h"
#include "services/AgentManager.h"
#include "services/AgentService.h"

#include <QAction>
#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

class FakeAgent : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tarnholm.Corvane_HelperProtocol")
public:
    QString build;
    int versionCalls = 0;

public Q_SLOTS:
    QString version()
    {
        ++versionCalls;
        return build;
    }
};

const QString kUnitEnabled = QStringLiteral("systemctl --user is-enabled corvane-agent.service");
const QString kEnable = QStringLiteral("systemctl --user enable --now corvane-agent.service");
const QString kDisable = QStringLiteral("systemctl --user disable --now corvane-agent.service");
const QString kUserManager = QStringLiteral("systemctl --user show-environment");

TEST(SystemdAgentService, UnitStateAndAutostartFallback)
{
    TemporaryHome home;
    FakeRunner runner;
    runner.answers[kUserManager] = {0, "PATH=/usr/bin"};
    app::SystemdAgentService systemd(runner, QStringLiteral("corvane-agent"), home.path() + "/autostart");
    runner.answers[kUnitEnabled] = {0, "enabled"};
    EXPECT_EQ(systemd.status(), app::AgentService::Enabled);
    runner.answers[kUnitEnabled] = {1, "disabled"};
    EXPECT_EQ(systemd.status(), app::AgentService::NotRegistered);
    runner.answers[kUnitEnabled] = {4, "not-found"};
    EXPECT_EQ(systemd.status(), app::AgentService::NotRegistered);
    QString error;
    runner.answers[kEnable] = {1, "Failed to enable unit: Unit file corvane-agent.service does not exist."};
    EXPECT_FALSE(systemd.registerService(&error));
    EXPECT_EQ(error, "Failed to enable unit: Unit file corvane-agent.service does not exist.");
    runner.answers[kEnable] = {0, ""};
    EXPECT_TRUE(systemd.registerService(&error));
    runner.answers[kDisable] = {0, ""};
    EXPECT_TRUE(systemd.unregisterService(&error));
    EXPECT_EQ(runner.calls, (QStringList{kUserManager, kUnitEnabled, kUnitEnabled, kUnitEnabled, kEnable, kEnable, kDisable}))
        << "the user manager is asked about once";
    EXPECT_TRUE(runner.detached.isEmpty());
    EXPECT_FALSE(QFile::exists(systemd.autostartFile()));

    // No user systemd: the autostart entry is the registration.
    FakeRunner bare;
    app::SystemdAgentService autostart(bare, QStringLiteral("/opt/corvane/corvane-agent"), home.path() + "/autostart");
    EXPECT_EQ(autostart.status(), app::AgentService::NotRegistered);
    ASSERT_TRUE(autostart.registerService(&error)) << error.toStdString();
    EXPECT_EQ(autostart.status(), app::AgentService::Enabled);
    EXPECT_TRUE(readFile(autostart.autostartFile()).contains("\nExec=/opt/corvane/corvane-agent\n"));
    EXPECT_EQ(bare.detached, QStringList{"/opt/corvane/corvane-agent"});
    EXPECT_TRUE(autostart.unregisterService(&error));
    EXPECT_EQ(autostart.status(), app::AgentService::NotRegistered);
    EXPECT_EQ(bare.calls, QStringList{kUserManager});
}

TEST(AgentManagement, OldAgentRestartedTwiceThenUpdateFailedAndMissingUnitAsks)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    QDBusConnection agentBus = bus.connect(), appBus = bus.connect();
    FakeAgent agent;
    ASSERT_TRUE(agentBus.registerObject("/agent", &agent, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(agentBus.registerService(app::AgentManager::kBusName));
    FakeRunner runner;
    runner.answers = {{kUserManager, {0, ""}}, {kEnable, {0, ""}}, {kDisable, {0, ""}}, {kUnitEnabled, {0, "enabled"}}};
    app::SystemdAgentService service(runner);
    // Older than the window's build, or no number at all (counts as 0).
    for (const auto &[build, windowBuild] : {std::pair{"1", 2}, std::pair{"dev", 1}}) {
        SCOPED_TRACE(build);
        agent.build = QString::fromLatin1(build);
        agent.versionCalls = 0;
        runner.calls.clear();
        app::AgentManager manager(service, appBus, windowBuild);
        QSignalSpy failed(&manager, &app::AgentManager::updateFailed);
        QList<bool> connectedWhenChecked; // a restarted agent is not connected until it answers again
        QObject::connect(&manager, &app::AgentManager::versionChecked, [&] { connectedWhenChecked << manager.agentConnected(); });
        manager.setupAppService();
        EXPECT_EQ(manager.serviceStatus(), 1);
        EXPECT_TRUE(manager.hasConnection());
        EXPECT_FALSE(manager.agentConnected()) << "connecting until the agent answers";
        ASSERT_TRUE(waitUntil([&] { return connectedWhenChecked.size() == 3; }));
        EXPECT_EQ(connectedWhenChecked, (QList<bool>{false, false, true})) << "the third answer connects, old or not";
        EXPECT_EQ((QList<qsizetype>{manager.updateCount(), failed.size(), runner.calls.count(kDisable), runner.calls.count(kEnable),
                                    agent.versionCalls}), (QList<qsizetype>{2, 1, 2, 3, 3})) << "updates, failures, stops, starts, asks";
    }

    FakeRunner other;
    other.answers[kUserManager] = {0, ""};
    other.answers[kUnitEnabled] = {1, "not-found"};
    app::SystemdAgentService missing(other);
    app::AgentManager second(missing, appBus, 1);
    QSignalSpy asked(&second, &app::AgentManager::installAgentAlertRequested);
    second.setupAppService();
    EXPECT_EQ(asked.size(), 1);
    EXPECT_FALSE(second.hasConnection());

    other.answers[kEnable] = {1, "Access denied"};
    second.startAndConnectAgent();
    EXPECT_FALSE(second.hasConnection());
}

} // namespace

#include "AgentManagementTest.moc"

TEST(AgentManagementWithTheRealAgent, MenuFollowsTheConnectionAndReloadsReachIt)
{
    TemporaryHome home; // the agent's settings and data file go there too
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    QProcess agent;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("QT_LOGGING_RULES"); // its "Gathered" lines are what the test reads
    agent.setProcessEnvironment(env);
    agent.setProcessChannelMode(QProcess::MergedChannels);
    agent.start(QStringLiteral(CORVANE_BINARY_DIR "/agent/corvane-agent"),
                {"--recorded", QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo")});
    ASSERT_TRUE(agent.waitForStarted(10000));
    QByteArray log;
    const auto gathers = [&] {
        log += agent.readAll();
        return log.count("Gathered ");
    };
    ASSERT_TRUE(waitUntil([&] { return gathers() >= 1; })) << log.toStdString();

    FakeRunner runner;
    runner.answers = {{kUserManager, {0, ""}}, {kEnable, {0, ""}}, {kDisable, {0, ""}}, {kUnitEnabled, {0, "enabled"}}};
    app::SystemdAgentService service(runner);
    SharedDefaults defaults(home.path() + "/shared.conf");
    app::THAppDelegate::Options options = demoOptions();
    options.agentService = &service;
    options.sessionBus = bus.connect();
    app::THAppDelegate controller(std::move(options), defaults);
    app::AgentManager *manager = controller.agent();
    QSignalSpy asked(manager, &app::AgentManager::installAgentAlertRequested);
    QSignalSpy failed(manager, &app::AgentManager::updateFailed);
    EXPECT_EQ(controller.agentMenuItem->text(), "Start Monitoring");
    controller.window()->show();
    controller.applicationDidFinishLaunching();
    ASSERT_TRUE(waitUntil([&] { return controller.agentConnected(); }));
    // The agent of this build answers with this build: never restarted, nothing asked.
    EXPECT_EQ((QList<qsizetype>{manager->updateCount(), failed.size(), asked.size(), runner.calls.count(kDisable)}),
              (QList<qsizetype>{0, 0, 0, 0}));
    EXPECT_EQ(controller.agentMenuItem->text(), "Stop Monitoring");
    EXPECT_TRUE(controller.showingAgentMenuItem->isVisible());
    manager->startAndConnectAgent(); // already connected: only the menu
    EXPECT_EQ(runner.calls.count(kEnable), 1);
    const int before = gathers();
    controller.browser()->scanForSMARTDrives();
    EXPECT_TRUE(waitUntil([&] { return gathers() > before; })) << "every scan asks the agent to reload";

    controller.agentMenuItem->trigger();
    EXPECT_EQ(controller.agentMenuItem->text(), "Start Monitoring");
    EXPECT_FALSE(controller.showingAgentMenuItem->isVisible());
    EXPECT_FALSE(manager->hasConnection());
    EXPECT_EQ(runner.calls.count(kDisable), 1);
    runner.answers[kUnitEnabled] = {1, "disabled"};
    controller.agentMenuItem->trigger();
    EXPECT_TRUE(manager->hasConnection());
    EXPECT_EQ(runner.calls.count(kEnable), 2);
    controller.window()->hide();
    agent.terminate();
    agent.waitForFinished(10000);
}
