// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserTestSupport.h"

#include "browser/DriveListModel.h"
#include "pages/AtaPages.h"
#include "platform/DeviceStatus.h"
#include "selftest/SelfTestPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cerrno>

using namespace corvane;
using namespace corvane::app;
using namespace corvane::app::test;

namespace {

int logRowsWith(DriveBrowser &b, const QString &status)
{
    DataTable *log = b.findChild<AtaSelfTestPage *>()->log();
    int n = 0;
    for (int r = 0; r < log->rows(); ++r)
        n += log->cellText(r, 2).startsWith(status);
    return n;
}

} // namespace

TEST(SelfTest, RunsToItsEndAbortsOnTheDriveAndSaysWhyItCantStart)
{
    Browser browser;
    DriveBrowser &b = *browser;
    auto deny = std::make_shared<bool>(false);
    browser.demo.platform->ata = [inner = browser.demo.platform->ata, deny](const QString &bsd, int32_t &status) {
        if (*deny) {
            status = statusFromErrno(EACCES);
            return std::unique_ptr<AtaSmartInterface>();
        }
        return inner(bsd, status);
    };
    THSMARTDevice::setSelfTestTickInterval(5);
    b.scanForSMARTDrives();
    ASSERT_TRUE(waitForDrives(b));
    b.selectDrive(QStringLiteral("sda"));
    auto *panel = b.findChild<SelfTestPanel *>(QStringLiteral("selfTestPanel"));
    ASSERT_TRUE(panel);
    ASSERT_EQ(panel->testSelection()->count(), 2); // short and extended
    const auto controls = [&] {
        return QList<bool>{panel->startButton()->isEnabled(), panel->abortButton()->isEnabled(),
                           panel->testSelection()->isEnabled()};
    };
    const QList<bool> idle{true, false, true}, busy{false, true, false};
    EXPECT_EQ(controls(), idle);
    QSignalSpy running(&b, &DriveBrowser::testInProgressChanged);

    b.startTest();
    EXPECT_TRUE(b.testInProgress());
    EXPECT_EQ(controls(), busy);
    b.selectDrive(QStringLiteral("sdb"));
    EXPECT_FALSE(panel->startButton()->isEnabled());
    b.selectDrive(QStringLiteral("sda"));
    browser.events->arrive(QStringLiteral("sdh"));
    ASSERT_TRUE(waitForDrives(b));
    EXPECT_TRUE(b.testInProgress());
    auto *model = static_cast<DriveListModel *>(driveList(b)->model());
    EXPECT_EQ(model->drives().value(model->rowOf(QStringLiteral("sda"))).device, panel->deviceUnderTest());
    const int passedBefore = logRowsWith(b, QStringLiteral("Completed without error"));
    *browser.demo.clock += 5000; // the short test's simulated four seconds pass
    ASSERT_TRUE(waitUntil([&] { return !panel->testInProgress(); }));
    EXPECT_EQ(controls(), idle);
    EXPECT_EQ(panel->progress()->value(), 100);
    EXPECT_EQ(logRowsWith(b, QStringLiteral("Completed without error")), passedBefore + 1);
    EXPECT_EQ(running.count(), 2);

    // Quitting during a test aborts it the same way.
    b.startTest();
    b.stopTest();
    EXPECT_FALSE(b.testInProgress());
    EXPECT_EQ(running.count(), 4);
    EXPECT_EQ(running.last().value(0).toBool(), false);
    EXPECT_EQ(logRowsWith(b, QStringLiteral("Aborted by host")), 1);
    EXPECT_EQ(controls(), idle);

    *deny = true;
    b.startTest();
    EXPECT_FALSE(b.testInProgress());
    EXPECT_TRUE(panel->message()->isVisibleTo(panel));
    EXPECT_TRUE(panel->message()->text().contains(statusUserMessage(statusFromErrno(EACCES))));
    EXPECT_EQ(controls(), idle);
    EXPECT_EQ(running.count(), 6);
    THSMARTDevice::setSelfTestTickInterval(1000);
}
