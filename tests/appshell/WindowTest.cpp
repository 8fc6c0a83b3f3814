// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppShellTestSupport.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "MainWindow.h"
#include "browser/DriveBrowser.h"
#include "platform/SharedDefaults.h"
#include "services/SatStatus.h"
#include "services/ShutdownWatcher.h"
#include "services/SingleInstance.h"
#include "database/THSmartDeviceDatabase.h"
#include "display/DisplayFormats.h"
#include "TestData.h"
#include "support/Golden.h"

#include <QCheckBox>
#include <QDBusMessage>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

QMessageBox *openSheet(QWidget *window, const QString &text)
{
    for (QMessageBox *box : window->findChildren<QMessageBox *>())
        if (box->isVisible() && box->text() == text)
            return box;
    return nullptr;
}

QByteArray menuText(QMenuBar *bar)
{
    QString text;
    for (QAction *menu : bar->actions()) {
        text += menu->text() + (menu->isVisible() ? QStringLiteral("\n") : QStringLiteral(" (hidden)\n"));
        for (QAction *action : menu->menu()->actions())
            if (!action->isSeparator())
                text += QStringLiteral("  ") + action->text() + QLatin1Char('\n');
    }
    return text.toUtf8();
}

TEST(MainWindow, DemoSetMenusQuestionsAndQuitRule)
{
    TemporaryHome home;
    SharedDefaults defaults(home.path() + "/shared.conf");
    app::THAppDelegate controller(demoOptions(), defaults);
    app::MainWindow *window = controller.window();
    QSignalSpy drives(controller.browser(), &app::DriveBrowser::drivesChanged);
    window->show();
    controller.applicationDidFinishLaunching();
    ASSERT_TRUE(!drives.isEmpty() || drives.wait(10000));
    EXPECT_EQ(controller.browser()->driveCount(), 8);
    // The launch hands the vendor names of pci.ids to the NVMe pages.
    EXPECT_TRUE(waitUntil([] { return display::vid2vXfmr(QStringLiteral("1b36")) == "Red Hat, Inc. (1b36)"; }));
    EXPECT_EQ(controller.versionBuildText->text(),
              QStringLiteral("Version %1 (Build %2)").arg(CORVANE_VERSION).arg(CORVANE_BUILD_NUMBER));
    EXPECT_EQ(controller.copyrightText->text(), "Copyright © 2026 the Corvane authors.");

    // No agent management on a recorded set: the Monitoring menu is hidden.
    expectGolden(QStringLiteral("main-window-menus.txt"), menuText(window->menuBar()));

    EXPECT_EQ(controller.showingAgentMenuItem->text(), "Show Corvane Menu");
    controller.showingAgentMenuItem->trigger();
    EXPECT_TRUE(defaults.boolValue(kShowMenuBarExtraKey));
    EXPECT_EQ(controller.showingAgentMenuItem->text(), "Hide Corvane Menu");

    controller.installAgentAlert();
    QMessageBox *box = openSheet(window, "Monitor Drives?");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->informativeText(), "Activate menu item and start monitoring SMART status. Monitoring is handled by a "
                                      "background process regardless of whether the application is open.");
    box->checkBox()->setChecked(true);
    box->button(QMessageBox::Cancel)->click();
    drainEvents();
    EXPECT_TRUE(defaults.boolValue(app::THAppDelegate::kSuppressMonitorQuestionKey));
    controller.installAgentAlert();
    EXPECT_FALSE(openSheet(window, "Monitor Drives?"));

    controller.alertUpdateFailed();
    QMessageBox *failed = openSheet(window, "Update Failed");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->informativeText(), "Agent failed to update, please contact support.");
    failed->close();

    QSignalSpy quit(&controller, &app::THAppDelegate::quitApproved);
    Q_EMIT controller.browser()->testInProgressChanged(true);
    EXPECT_TRUE(controller.testInProgress());
    EXPECT_FALSE(window->close());
    QMessageBox *sheet = openSheet(window, "Self-Test in Progress");
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->informativeText(), "Are you sure you want to quit?");
    const QList<QAbstractButton *> buttons = sheet->buttons();
    const auto dontQuit = std::find_if(buttons.begin(), buttons.end(), [](auto *b) { return b->text() == "Don't Quit"; });
    ASSERT_NE(dontQuit, buttons.end());
    (*dontQuit)->click();
    drainEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(quit.size(), 0);

    // Asked again, then the machine powers off: treated as "Quit".
    EXPECT_FALSE(window->close());
    ASSERT_TRUE(openSheet(window, "Self-Test in Progress"));
    controller.powerOffCallback();
    drainEvents();
    EXPECT_EQ(quit.size(), 1);
    EXPECT_FALSE(window->isVisible());
}

TEST(MainWindow, DatabaseRefreshAtLaunchRebuildsTheListAndSaysSo)
{
    TemporaryHome home;
    const QStringList systemPaths = THSmartDeviceDatabase::systemDatabasePaths();
    THSmartDeviceDatabase::setSystemDatabasePaths({});
    LoopbackHttpServer server;
    server.route("/drivedb.h", {200, "text/plain", readData("drivedb/base.h")});
    SharedDefaults defaults(home.path() + "/shared.conf");
    app::THAppDelegate::Options options = demoOptions();
    options.updateDatabase = true;
    options.sources = {{server.url("/drivedb.h"), QString(), QString()}};
    app::THAppDelegate controller(std::move(options), defaults);
    QSignalSpy drives(controller.browser(), &app::DriveBrowser::drivesChanged);
    QSignalSpy outcome(&controller, &app::THAppDelegate::databaseUpdateFinished);
    controller.window()->show();
    controller.applicationDidFinishLaunching();
    EXPECT_TRUE(controller.updater()->isRunning()) << "the window does not wait for the network";
    ASSERT_TRUE(outcome.wait(10000));
    EXPECT_EQ(outcome[0][0].toString(), "Drive database updated to build 5319.");
    ASSERT_TRUE(waitUntil([&] { return drives.size() == 2; })) << "the first scan, then the rebuild";
    EXPECT_EQ(controller.driveDatabase().value("build"), "5319");
    EXPECT_TRUE(std::ranges::any_of(controller.window()->statusBar()->findChildren<QLabel *>(),
                                    [](const QLabel *l) { return l->text() == "Drive database updated to build 5319."; }))
        << "the outcome stays in the status bar after the rebuild's own message";
    THSmartDeviceDatabase::setSystemDatabasePaths(systemPaths);
}

TEST(SessionBus, SecondStartHandsItsArgumentsOverAndLogindShutdownIsSeen)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    app::SingleInstance first(bus.connect());
    app::SingleInstance second(bus.connect());
    ASSERT_TRUE(first.claim());
    EXPECT_FALSE(second.claim());
    QSignalSpy activated(&first, &app::SingleInstance::activated);
    EXPECT_TRUE(second.forward({QStringLiteral("widget-deeplink://")}));
    ASSERT_TRUE(!activated.isEmpty() || activated.wait(5000));
    EXPECT_EQ(activated[0][0].toStringList(), QStringList{"widget-deeplink://"});

    QDBusConnection logind = bus.connect();
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    app::ShutdownWatcher watcher(bus.connect());
    QSignalSpy shutdown(&watcher, &app::ShutdownWatcher::shuttingDown);
    for (bool start : {false, true}) {
        QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                                         "PrepareForShutdown");
        signal << start;
        logind.send(signal);
    }
    ASSERT_TRUE(shutdown.wait(5000));
    drainEvents();
    EXPECT_EQ(shutdown.size(), 1) << "PrepareForShutdown(false) is the end of a cancelled shutdown";
}

TEST(SatStatus, ModulesAndBridgesFromTheFileTree)
{
    TemporaryHome home;
    const QString root = home.path() + "/root";
    QDir().mkpath(root + "/lib/modules/6.1.0-test");
    QDir().mkpath(root + "/sys/block");
    const auto status = [&] { return app::statusSATSMARTDriver(root, "6.1.0-test"); };
    const auto expected = [](bool installed, bool loaded, bool attached) {
        return QVariantMap{{"installed", installed}, {"loaded", loaded}, {"attached", attached}, {"T2 controller", false},
                           {"ARM64", QSysInfo::currentCpuArchitecture() == "arm64"}};
    };
    EXPECT_EQ(status(), expected(false, false, false));
    ASSERT_TRUE(writeFile(root + "/lib/modules/6.1.0-test/modules.dep",
                          "kernel/drivers/usb/storage/uas.ko: kernel/drivers/usb/storage/usb-storage.ko\n"));
    EXPECT_EQ(status(), expected(true, false, false));

    const QString internal = root + "/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda";
    const QString usb = root + "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb";
    QDir().mkpath(internal);
    QFile::link(internal, root + "/sys/block/sda");
    EXPECT_EQ(status(), expected(true, false, false));
    QDir().mkpath(usb);
    QFile::link(usb, root + "/sys/block/sdb");
    QDir().mkpath(root + "/sys/module/uas");
    EXPECT_EQ(status(), expected(true, true, true));

    ASSERT_TRUE(writeFile(home.path() + "/product_name", "  ThinkPad T14 Gen 3 \n"));
    EXPECT_EQ(app::THAppDelegate::readMachineModel(home.path() + "/product_name"), "ThinkPad T14 Gen 3");
    EXPECT_EQ(app::THAppDelegate::readMachineModel(home.path() + "/none"), "");
}

} // namespace

// fontconfig keeps its caches until exit on purpose (Qt never calls FcFini);
// LeakSanitizer counts them against whichever test first drew text.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
