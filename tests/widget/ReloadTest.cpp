// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataFileWatcher.h"
#include "ReloadListener.h"
#include "platform/WidgetCenter.h"
#include "WidgetPainter.h"
#include "WidgetTestSupport.h"
#include "WidgetWindow.h"
#include "support/Fields.h"
#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane::widget;
using namespace corvane::widget::test;

namespace {

// A session bus of our own, so the tests neither need nor disturb the user's.
class PrivateBus : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_bus.isRunning() && widgetBus.isConnected() && agentBus.isConnected()); }
    static void sendReload(QDBusConnection &bus, const QString &kind,
                           const char *interface = corvane::kWidgetCenterInterface)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(corvane::kWidgetCenterPath),
                                                         QLatin1String(interface),
                                                         QLatin1String(corvane::kReloadTimelinesMember));
        signal << kind;
        ASSERT_TRUE(bus.send(signal));
    }

    // The match rule of a new listener travels on its own connection; one round
    // trip there makes sure the daemon has it before another connection signals.
    static void settle(QDBusConnection &bus)
    {
        const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    }

    corvane::test::PrivateBus m_bus;
    QDBusConnection widgetBus = m_bus.connect(), agentBus = m_bus.connect();
};

} // namespace

TEST_F(PrivateBus, ListenerPassesOnlyThisWidgetsKind)
{
    ReloadListener listener(widgetBus);
    ASSERT_TRUE(listener.isListening());
    settle(widgetBus);
    int requests = 0;
    QObject::connect(&listener, &ReloadListener::reloadRequested, [&] { ++requests; });

    // Signals from one sender arrive in order: once the last one is in, the
    // others have been seen and ignored.
    sendReload(agentBus, QStringLiteral("Other_Widget"));
    sendReload(agentBus, QStringLiteral("Corvane_Widget"), "com.example.NotOurs");
    sendReload(agentBus, QStringLiteral("corvane_widget"));
    sendReload(agentBus, QStringLiteral("Corvane_Widget"));
    ASSERT_TRUE(waitUntil([&] { return requests > 0; }));
    EXPECT_EQ(requests, 1);

    sendReload(agentBus, QStringLiteral("Corvane_Widget"));
    ASSERT_TRUE(waitUntil([&] { return requests == 2; }));

    ReloadListener deaf(QDBusConnection(QStringLiteral("never-connected")));
    EXPECT_FALSE(deaf.isListening());
}

TEST(WidgetReload, FileWatcherSeesCreationAndAtomicReplacement)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("not/yet"));
    const QString path = folder + QStringLiteral("/data.json");
    DataFileWatcher watcher(path);
    int changes = 0;
    QObject::connect(&watcher, &DataFileWatcher::changed, [&] { ++changes; });

    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("not"))));
    ASSERT_TRUE(waitUntil([&] { return changes >= 1; }));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(replaceFile(path, "[]"));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(path) && changes >= 2; }));

    // Two atomic replacements in a row: the watch follows the new file each time.
    for (int round = 0; round < 2; ++round) {
        const int before = changes;
        ASSERT_TRUE(replaceFile(path, drivesJson({"Passed"})));
        ASSERT_TRUE(waitUntil([&] { return changes > before; })) << round;
    }

    const int before = changes;
    ASSERT_TRUE(corvane::test::writeFile(path, drivesJson({"Failed"})));
    ASSERT_TRUE(waitUntil([&] { return changes > before; }));
}

TEST_F(PrivateBus, WindowRedrawsWhenTheAgentAsks)
{
    ASSERT_TRUE(writeDataFile(drivesJson({"Failed"})));

    WidgetWindow window(widgetBus);
    window.setFamily(WidgetFamily::Large);
    ASSERT_TRUE(window.isListeningForReloads());
    settle(widgetBus);
    ASSERT_EQ(window.entry().drives.size(), 1);
    auto redBadges = [&] { return colourBlobs(window.grab().toImage(), statusColor("Failed", systemAppearance())).size(); };
    EXPECT_EQ(redBadges(), 1);

    ASSERT_TRUE(writeDataFile(drivesJson({"Failed", "Failed", "Failed", "Failed", "Failed"})));
    sendReload(agentBus, QStringLiteral("Corvane_Widget"));
    ASSERT_TRUE(waitUntil([&] { return window.entry().drives.size() == 5; }));
    EXPECT_EQ(redBadges(), 5);

    int redraws = 0;
    QObject::connect(&window, &WidgetWindow::entryChanged, [&] { ++redraws; });
    sendReload(agentBus, QStringLiteral("Corvane_Widget"));
    ASSERT_TRUE(waitUntil([&] { return redraws > 0; }));

    // The file goes bad: no stale tiles, the notice instead.
    ASSERT_TRUE(writeDataFile("[{\"id\":"));
    sendReload(agentBus, QStringLiteral("Corvane_Widget"));
    ASSERT_TRUE(waitUntil([&] { return !window.entry().notice.isEmpty(); }));
    EXPECT_TRUE(window.entry().drives.isEmpty());
    EXPECT_EQ(redBadges(), 0);
}

TEST(WidgetWindowTest, FamilyIsRememberedAndRowsOpenTheApplication)
{
    ASSERT_TRUE(writeDataFile(drivesJson({"Passed", "Warning", "Failed", "-"})));
    QDBusConnection noBus(QStringLiteral("no-bus"));
    {
        WidgetWindow window(noBus);
        window.setFamily(WidgetFamily::Large);
        EXPECT_EQ(window.size(), familyCanvasSize(WidgetFamily::Large));
    }
    EXPECT_EQ(storedFamily(), WidgetFamily::Large);
    EXPECT_EQ(QSettings(corvane::sharedDefaultsFile(), QSettings::IniFormat).value("widgetFamily").toString(), "large");

    WidgetWindow window(noBus);
    EXPECT_EQ(window.family(), WidgetFamily::Large);
    QStringList opened;
    window.setLinkOpener([&](const QString &url) { opened << url; });

    const WidgetGeometry g = layoutEntry(window.entry(), window.family());
    ASSERT_EQ(g.rows.size(), 2);
    auto click = [&](const QPointF &pos) {
        QMouseEvent press(QEvent::MouseButtonPress, pos, window.mapToGlobal(pos), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, pos, window.mapToGlobal(pos), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &press);
        QCoreApplication::sendEvent(&window, &release);
    };
    click(g.rows.at(1).tiles.first().icon.center());
    click(g.mark.center()); // not a row
    click(QPointF(2, 2));
    EXPECT_EQ(opened, QStringList{QStringLiteral("widget-deeplink://")});
    EXPECT_EQ(window.rowAt(g.rows.at(0).rect.center()), 0);
    EXPECT_FALSE(window.rowAt(QPointF(-1, -1)).has_value());

    QSettings(corvane::sharedDefaultsFile(), QSettings::IniFormat).setValue("widgetFamily", "huge");
    EXPECT_EQ(storedFamily(), WidgetFamily::Medium);
    window.setFamily(WidgetFamily::Small);
    EXPECT_EQ(storedFamily(), WidgetFamily::Small);
}
