// SPDX-License-Identifier: GPL-3.0-or-later
#include "AgentTestSupport.h"
#include "AppDelegate.h"
#include "IntroWindow.h"

#include <QKeyEvent>
#include <QMenu>
#include <QTest>

namespace {

struct DesktopFixture : ::testing::Test
{
    void SetUp() override
    {
        app();
        defaults = std::make_unique<SharedDefaults>(home.filePath("suite.conf"));
        QString error;
        source = makeAgentDriveSource(QStringLiteral(CORVANE_SOURCE_DIR "/data/recorded/demo"), &error);
        ASSERT_TRUE(source) << error.toStdString();
        watcher = std::make_unique<SMARTWatcher>(*source, *defaults);
        watcher->setContainer(QString());
        watcher->setBus(QDBusConnection(QStringLiteral("no-bus")));
    }
    static int pixelsOf(QWidget *w, const QColor &color)
    {
        const QImage image = w->grab().toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += std::abs(c.red() - color.red()) + std::abs(c.green() - color.green())
                         + std::abs(c.blue() - color.blue()) < 12;
            }
        return n;
    }

    QTemporaryDir home;
    std::unique_ptr<SharedDefaults> defaults;
    std::unique_ptr<DriveSource> source;
    std::unique_ptr<SMARTWatcher> watcher;
};

} // namespace

TEST_F(DesktopFixture, PanelListsTheDemoDrivesTrayFollowsTheSettingIntroShowsOnce)
{
    ASSERT_TRUE(watcher->gatherSMARTDrives(false));
    DrivePanel panel;
    EXPECT_TRUE(panel.rows().isEmpty()); // header only
    const int headerHeight = panel.sizeHint().height();
    panel.setDrives(watcher->smartDrives());
    EXPECT_EQ(panel.width(), 400);

    QStringList rows; // a drive without volumes: an empty third line
    for (DriveRow *row : panel.rows())
        rows.append(row->lines().join('|') + ' ' + row->badge()->health());
    EXPECT_EQ(rows, QStringList({"nvme0n1|QEMU NVMe Ctrl|vm-data Passed", "nvme1n1|QEMU NVMe Ctrl|scratch Failed",
                                 "sda|WDC WD2500JS-75NCB3|Shared Passed", "sdb|WDC WD5000AAKS-00TMA0|Windows, Media Warning",
                                 "sdc|Maxtor 96147H8|old-home Failed", "sdd|ST9160821AS|PASSPORT Warning",
                                 "sde|SSDSC2KB019T7R|srv Passed", "sdf|INTEL SSDSA2CW120G3| -"}));
    EXPECT_GT(panel.sizeHint().height(), headerHeight + 8 * 34);

    for (DriveRow *row : panel.rows()) {
        HealthBadge *badge = row->badge();
        EXPECT_EQ(badge->size(), QSize(23, 23));
        EXPECT_EQ(badge->symbolColor(), gui::statusColor(badge->health(), gui::systemAppearance()));
        EXPECT_GT(pixelsOf(badge, badge->symbolColor()), 8) << badge->health().toStdString();
    }

    int opened = 0;
    QObject::connect(&panel, &DrivePanel::openCorvaneRequested, [&] { ++opened; });
    QTest::mouseClick(panel.rows().at(3), Qt::LeftButton);
    EXPECT_EQ(opened, 1);
    QStringList entries;
    for (QAction *a : panel.menu()->actions())
        entries.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(entries, QStringList({"Open Corvane...", "Rescan Drives", "-", "Contact Support..."}));

    // Transient: it closes when it loses the focus, not while its menu is open.
    panel.popUp(QRect());
    ASSERT_TRUE(panel.isVisible());
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&panel, &deactivate);
    EXPECT_FALSE(panel.isVisible());
    panel.popUp(QRect());
    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_FALSE(panel.isVisible());

    panel.setDrives({});
    EXPECT_TRUE(panel.rows().isEmpty());
    EXPECT_EQ(panel.sizeHint().height(), headerHeight);

    {
        AppDelegate delegate(*watcher, *defaults);
        QList<QUrl> opened;
        delegate.setOpenUrl([&](const QUrl &url) { opened.append(url); return true; });
        delegate.launch();
        EXPECT_TRUE(delegate.isTrayWanted());
        ASSERT_NE(delegate.tray(), nullptr);
        delegate.contactSupport();
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened[0].toEncoded(), "mailto:support@corvane.org?subject=Help%20with%20Corvane"
                                         "&body=Hello!%20%0A%0A%20I%20have%20a%20question%20about%20Corvane:%0A%0A");

        ASSERT_TRUE(delegate.intro());
        ASSERT_TRUE(waitUntil([&] { return delegate.intro()->isVisible(); }));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(delegate.intro(), &enter);
        EXPECT_TRUE(defaults->boolValue("corvane2Intro"));
        ASSERT_TRUE(waitUntil([&] { return !delegate.intro(); })); // closed and gone

        ASSERT_EQ(storeSetting(defaults->fileName(), "showMenuBarExtra", "false"), 0);
        ASSERT_TRUE(waitUntil([&] { return !delegate.isTrayWanted(); }));
        EXPECT_EQ(delegate.tray(), nullptr);
        EXPECT_FALSE(delegate.panel()->isVisible());
        ASSERT_EQ(storeSetting(defaults->fileName(), "showMenuBarExtra", "true"), 0);
        ASSERT_TRUE(waitUntil([&] { return delegate.isTrayWanted(); }));
        EXPECT_NE(delegate.tray(), nullptr);

        watcher->rescan();
        ASSERT_TRUE(waitUntil([&] { return watcher->isIdle() && delegate.panel()->rows().size() == 8; }));
    }

    AppDelegate later(*watcher, *defaults);
    later.launch();
    EXPECT_FALSE(later.intro());
}
