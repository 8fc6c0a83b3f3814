// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "Notifier.h"
#include "platform/SharedDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

struct NotifierFixture : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning());
        defaults = std::make_unique<SharedDefaults>(home.filePath("suite.conf"));
    }
    SMARTDrive drive(const char *bsd, const char *model, const char *health)
    {
        return *SMARTDrive::fromProperties(driveProperties(bsd, model, QString::fromLatin1(health)));
    }

    PrivateBus bus;
    QTemporaryDir home;
    std::unique_ptr<SharedDefaults> defaults;
};

} // namespace

TEST_F(NotifierFixture, PermissionIsWhetherAServerAnswers)
{
    Notifier lonely(*defaults, bus.connect());
    QList<bool> answers;
    QObject::connect(&lonely, &Notifier::permissionAnswered, [&](bool granted) { answers.append(granted); });
    defaults->setValue("ShouldNotifyUser", true); // from an earlier launch
    lonely.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 1; }));
    EXPECT_FALSE(answers.first());
    EXPECT_FALSE(defaults->boolValue("ShouldNotifyUser"));

    // Without permission nothing is sent, even once a server appears.
    TestNotificationServer server(bus.connect());
    ASSERT_TRUE(server.start());
    lonely.notifyUser(drive("sda", "ST4000", "Failed"));
    EXPECT_TRUE(lonely.isIdle());

    Notifier notifier(*defaults, bus.connect());
    QObject::connect(&notifier, &Notifier::permissionAnswered, [&](bool granted) { answers.append(granted); });
    notifier.requestPermission();
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
    EXPECT_TRUE(answers.last());
    EXPECT_TRUE(defaults->boolValue("ShouldNotifyUser"));
    EXPECT_EQ(server.informationRequests, 1);
    EXPECT_TRUE(server.calls.isEmpty());
}

TEST_F(NotifierFixture, AlertsReplaceEachOther)
{
    TestNotificationServer server(bus.connect());
    ASSERT_TRUE(server.start());
    defaults->setValue("ShouldNotifyUser", true);
    Notifier notifier(*defaults, bus.connect());

    // A drive's two alerts in a row: the second must carry
    // the id the server gave the first, even though neither waited.
    notifier.notifyUser(drive("sda", "Samsung SSD 870", "Warning"));
    notifier.notifyUser(drive("sda", "WDC WD40EFRX", "Failed"));
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 2 && notifier.isIdle(); }));

    const auto &first = server.calls[0];
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_EQ(first.summary, "Corvane Alert");
    EXPECT_EQ(first.body, "Samsung SSD 870 Warning\nOpen Corvane for details...");
    EXPECT_EQ(first.actions, QStringList({"default", "Open Corvane", "silence", "Don't remind me"}));
    EXPECT_TRUE(first.hints.contains("sound-name"));
    EXPECT_EQ(first.timeout, -1);
    EXPECT_EQ(first.icon, "drive-harddisk");

    const auto &second = server.calls[1];
    EXPECT_EQ(second.replacesId, first.returnedId);
    EXPECT_EQ(second.body, "WDC WD40EFRX Failed\nOpen Corvane for details...");
    EXPECT_EQ(notifier.currentId(), first.returnedId);

    // Permission withdrawn: nothing more goes out.
    defaults->setValue("ShouldNotifyUser", false);
    notifier.notifyUser(drive("sdb", "WDC WD40EFRX", "Failed"));
    EXPECT_TRUE(notifier.isIdle());
    drainEvents();
    EXPECT_EQ(server.calls.size(), 2);
}

TEST_F(NotifierFixture, ClickOpensTheApplication)
{
    TestNotificationServer server(bus.connect());
    ASSERT_TRUE(server.start());
    defaults->setValue("ShouldNotifyUser", true);
    Notifier notifier(*defaults, bus.connect());
    int opened = 0;
    notifier.setOpenApplication([&] { ++opened; });

    notifier.notifyUser(drive("sda", "m", "Failed"));
    ASSERT_TRUE(waitUntil([&] { return notifier.isIdle() && notifier.currentId() != 0; }));
    const uint id = notifier.currentId();

    server.click(id + 1000, "default"); // someone else's notification
    server.click(id, "other-action");
    server.click(id, "default");
    ASSERT_TRUE(waitUntil([&] { return opened == 1; }));
    drainEvents();
    EXPECT_EQ(opened, 1);
}

TEST_F(NotifierFixture, ServerVanishingMidRun)
{
    auto serverConnection = bus.connect();
    auto server = std::make_unique<TestNotificationServer>(serverConnection);
    ASSERT_TRUE(server->start());
    defaults->setValue("ShouldNotifyUser", true);
    Notifier notifier(*defaults, bus.connect());
    QStringList failures;
    QObject::connect(&notifier, &Notifier::postFailed, [&](const QString &e) { failures.append(e); });

    notifier.notifyUser(drive("sda", "m", "Failed"));
    ASSERT_TRUE(waitUntil([&] { return notifier.isIdle() && server->calls.size() == 1; }));

    server->stop();
    notifier.notifyUser(drive("sda", "m", "Failed"));
    notifier.notifyUser(drive("sdb", "n", "Warning"));
    ASSERT_TRUE(waitUntil([&] { return notifier.isIdle() && failures.size() == 2; }));
    EXPECT_EQ(notifier.currentId(), 0u);

    // A new server: the old id means nothing to it.
    TestNotificationServer replacement(bus.connect());
    ASSERT_TRUE(replacement.start());
    notifier.notifyUser(drive("sdb", "n", "Warning"));
    ASSERT_TRUE(waitUntil([&] { return notifier.isIdle() && replacement.calls.size() == 1; }));
    EXPECT_EQ(replacement.calls[0].replacesId, 0u);
}

TEST_F(NotifierFixture, AlertsDoNotPileUpWithoutAnAnsweringServer)
{
    defaults->setValue("ShouldNotifyUser", true);
    // No bus at all: nothing is kept.
    Notifier lonely(*defaults, QDBusConnection(QStringLiteral("no-bus")));
    for (int i = 0; i < 50; ++i)
        lonely.notifyUser(drive("sda", "m", "Failed"));
    EXPECT_TRUE(lonely.isIdle());

    // A server that never answers: one alert in flight, the latest eight waiting.
    TestNotificationServer server(bus.connect());
    server.silent = true;
    ASSERT_TRUE(server.start());
    Notifier notifier(*defaults, bus.connect());
    for (int i = 0; i < 50; ++i)
        notifier.notifyUser(drive(QByteArray("sd").append(QByteArray::number(i)).constData(), "m", "Failed"));
    ASSERT_TRUE(waitUntil([&] { return server.unanswered == 1; }));
    EXPECT_EQ(notifier.queued(), 8);
}
