// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserTestSupport.h"

#include "pages/AtaPages.h"
#include "pages/HistoryPage.h"
#include "platform/Paths.h"
#include "support/EventLoop.h"
#include "support/Fields.h"
#include "support/Golden.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QDir>
#include <QFile>
#include <QLineSeries>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QValueAxis>

using namespace corvane;
using namespace corvane::app;
using namespace corvane::app::test;
using corvane::test::drainEvents;

namespace {

constexpr qint64 kDay = 24 * 3600 * 1000;

// 40 daily samples: "Passed" for 20 days, "Warning" for 15, "Failed" for 5;
// 30 to 34 °C; reallocated sectors 0, then 55 from day 20 and 63 from day 33.
QList<HistorySample> fortyDays(const QString &drive, const QDateTime &first)
{
    QList<HistorySample> samples;
    for (int i = 0; i < 40; ++i) {
        HistorySample s;
        s.time = first.addDays(i);
        s.drive = drive;
        s.bsdName = QStringLiteral("sda");
        s.health = i < 20 ? QStringLiteral("Passed") : i < 35 ? QStringLiteral("Warning") : QStringLiteral("Failed");
        s.temperature = 30 + i % 5;
        s.reallocated = i < 20 ? 0 : i < 33 ? 55 : 63;
        s.pending = 0;
        samples << s;
    }
    return samples;
}

QDateTime firstDay()
{
    // Recent, so no retention thins it; whole seconds, as stored.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return QDateTime(now.date().addDays(-40), QTime(12, 0), Qt::UTC);
}

void writeHistory(const QString &path, const QList<HistorySample> &samples)
{
    HistoryDatabase db(path);
    QString error;
    ASSERT_TRUE(db.open(&error)) << error.toStdString();
    ASSERT_TRUE(db.append(samples));
}

DriveEntry entryFor(const QString &model, const QString &serial)
{
    DriveEntry entry;
    entry.device = std::make_shared<THSMARTDevice>(
        QVariantMap{{QStringLiteral("Device Model"), model}, {QStringLiteral("Serial Number"), serial}});
    return entry;
}

QString chartText(QChart *chart, const QDateTime &first)
{
    const auto day = [&](qreal ms) { return QString::number((ms - first.toMSecsSinceEpoch()) / kDay); };
    QString text;
    for (QAbstractAxis *axis : chart->axes()) {
        if (auto *t = qobject_cast<QDateTimeAxis *>(axis))
            text += QStringLiteral("  x: day %1 to %2\n").arg(day(t->min().toMSecsSinceEpoch()), day(t->max().toMSecsSinceEpoch()));
        else if (auto *v = qobject_cast<QValueAxis *>(axis))
            text += QStringLiteral("  y: %1 to %2 by %3\n").arg(v->min()).arg(v->max()).arg(v->tickInterval());
    }
    for (QAbstractSeries *series : chart->series()) {
        QList<QPointF> points;
        if (auto *area = qobject_cast<QAreaSeries *>(series))
            points = area->upperSeries()->points() + area->lowerSeries()->points();
        else if (auto *line = qobject_cast<QLineSeries *>(series))
            points = line->points();
        text += QStringLiteral("  %1 (%2):").arg(series->name()).arg(points.size());
        for (const QPointF &p : points)
            text += QStringLiteral(" %1/%2").arg(day(p.x())).arg(p.y());
        text += QLatin1Char('\n');
    }
    return text;
}

QString growthLine(QWidget *page, const QString &label)
{
    for (QLabel *l : page->findChildren<QLabel *>())
        if (l->accessibleName() == label)
            return l->text();
    return QStringLiteral("(none)");
}

} // namespace

TEST(HistoryTab, ChartsSpanHealthBandsAndGrowthLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const QDateTime first = firstDay();
    DriveEntry failing = entryFor(QStringLiteral("Disk A"), QStringLiteral("S1"));
    DriveEntry steady = entryFor(QStringLiteral("Disk B"), QStringLiteral("S2"));
    QList<HistorySample> samples = fortyDays(driveIdentity(failing.properties()), first);
    for (HistorySample s : fortyDays(driveIdentity(steady.properties()), first)) {
        s.reallocated = 5;
        s.health = QStringLiteral("Passed");
        samples << s;
    }
    writeHistory(path, samples);
    HistoryReader reader(path);
    for (DriveEntry *e : {&failing, &steady}) {
        reader.readSummary(*e);
        e->history = reader.series(driveIdentity(e->properties()), &e->historyError);
        e->historyRead = true;
    }
    ASSERT_EQ(failing.history.size(), 40);
    EXPECT_TRUE(failing.historyError.isEmpty());

    AtaInformationPage info;
    info.setDrive(failing);
    EXPECT_EQ(growthLine(&info, QStringLiteral("Reallocated sectors")), QStringLiteral("63, +8 in the last 7 days"));
    EXPECT_EQ(growthLine(&info, QStringLiteral("Pending sectors")), QStringLiteral("(none)"));
    info.setDrive(steady);
    EXPECT_EQ(growthLine(&info, QStringLiteral("Reallocated sectors")), QStringLiteral("(none)"));

    HistoryPage page(6);
    page.resize(900, 700);
    page.setDrive(failing);
    EXPECT_EQ(page.message(), QString());
    // Times as days since the first sample, so the charts compare whole with a file.
    QString shown;
    for (HistoryPage::Span span : {HistoryPage::Span::Month, HistoryPage::Span::Week, HistoryPage::Span::Year, HistoryPage::Span::All}) {
        page.setSpan(span);
        QString changes = page.changesText();
        for (int day = 0; day < 40; ++day)
            changes.replace(QStringLiteral("on ") + first.addDays(day).toLocalTime().toString(QStringLiteral("d MMM yyyy HH:mm")),
                            QStringLiteral("on day %1").arg(day));
        shown += QStringLiteral("span %1: %2\n").arg(int(span)).arg(changes);
        for (QChart *chart : {page.temperatureChart(), page.counterChart()})
            shown += chartText(chart, first);
    }
    // A year of hourly samples is drawn as the lowest and highest of 600
    // slices and the last sample; a one-hour peak survives.
    DriveEntry year = steady;
    year.history.clear();
    for (int i = 0; i < 8760; ++i) {
        HistorySample s;
        s.time = first.addSecs(3600 * i);
        s.health = QStringLiteral("Passed");
        s.temperature = i == 5000 ? 70 : 30 + i % 3;
        year.history << s;
    }
    page.setDrive(year);
    shown += QStringLiteral("hourly for a year:\n") + chartText(page.temperatureChart(), first);
    // Healthy all along: no bands; a counter that stood still is named, not drawn.
    page.setDrive(steady);
    shown += page.changesText() + QLatin1Char('\n') + chartText(page.temperatureChart(), first);
    EXPECT_TRUE(page.findChildren<QChartView *>().value(1)->isHidden());
    corvane::test::expectGolden(QStringLiteral("history-charts.txt"), shown.toUtf8());
}

TEST(HistoryTab, NoHistoryAndUnreadableHistoryAreSaidAndLeftAlone)
{
    QTemporaryDir dir;
    HistoryPage page(6);
    DriveEntry entry = entryFor(QStringLiteral("Disk A"), QStringLiteral("S1"));
    HistoryReader(dir.filePath(QStringLiteral("missing.sqlite"))).readSummary(entry);
    page.setDrive(entry);
    EXPECT_TRUE(page.message().startsWith(QStringLiteral("No history yet: the agent records")));
    EXPECT_TRUE(page.findChildren<QChartView *>().value(0)->isHidden());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing.sqlite"))));

    // A reader never moves a file aside or starts a new one.
    const QString garbage = dir.filePath(QStringLiteral("history.sqlite"));
    ASSERT_TRUE(corvane::test::writeFile(garbage, QByteArray(4096, 'x')));
    HistoryReader(garbage).readSummary(entry);
    EXPECT_FALSE(entry.historyError.isEmpty());
    page.setDrive(entry);
    EXPECT_TRUE(page.message().startsWith(QStringLiteral("The history of this drive could not be read: ")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("history.sqlite")});
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(4096, 'x'));
}

TEST(HistoryTab, BrowserReadsTheSelectedDrivesHistory)
{
    Demo demo;
    const DriveEntry sda = readEntry(demo, QStringLiteral("sda"));
    QDir().mkpath(programDataDir());
    writeHistory(historyDatabasePath(), fortyDays(driveIdentity(sda.properties()), firstDay()));

    DriveBrowser browser(demo.platform);
    browser.scanForSMARTDrives();
    ASSERT_TRUE(waitForDrives(browser));
    ASSERT_TRUE(browser.selectDrive(QStringLiteral("sda")));
    auto *sata = browser.findChild<QTabWidget *>(QStringLiteral("sata"));
    auto *history = qobject_cast<HistoryPage *>(sata->widget(5));
    ASSERT_TRUE(history);
    EXPECT_EQ(history->tag(), 6);
    EXPECT_EQ(sata->tabText(5), QStringLiteral("History"));
    // The scan read the growth; the series waits for the History tab.
    EXPECT_EQ(growthLine(sata->widget(0), QStringLiteral("Reallocated sectors")),
              QStringLiteral("63, +8 in the last 7 days"));
    EXPECT_TRUE(history->message().startsWith(QStringLiteral("Reading the history")));
    EXPECT_TRUE(browser.selectPage(QStringLiteral("history")));
    EXPECT_EQ(sata->currentWidget(), history);

    // Another drive, picked before the series arrives, has none.
    ASSERT_TRUE(browser.selectDrive(QStringLiteral("sdb")));
    QThreadPool::globalInstance()->waitForDone();
    drainEvents();
    EXPECT_TRUE(history->message().startsWith(QStringLiteral("No history yet")));
    EXPECT_EQ(growthLine(sata->widget(0), QStringLiteral("Reallocated sectors")), QStringLiteral("(none)"));
    ASSERT_TRUE(browser.selectDrive(QStringLiteral("sda")));
    EXPECT_TRUE(chartText(history->temperatureChart(), firstDay()).contains(QStringLiteral(" (31): 9/34 ")));
    QFile::remove(historyDatabasePath());
}
