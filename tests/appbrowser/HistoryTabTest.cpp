// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserTestSupport.h"

#include "pages/AtaPages.h"
#include "pages/HistoryPage.h"
#include "platform/Paths.h"
#include "support/EventLoop.h"
#include "support/Fields.h"

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

template <class Series>
QList<Series *> seriesOf(QChart *chart)
{
    QList<Series *> found;
    for (QAbstractSeries *s : chart->series())
        if (auto *typed = qobject_cast<Series *>(s))
            found << typed;
    return found;
}
const auto bands = seriesOf<QAreaSeries>;
const auto lines = seriesOf<QLineSeries>;

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

    // Information: only the counter that grew, in the failure colour.
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
    const auto at = [&](int day) { return first.addDays(day).toMSecsSinceEpoch(); };

    // The last 30 days: days 9 to 39.
    QChart *temperature = page.temperatureChart();
    ASSERT_EQ(lines(temperature).size(), 1);
    EXPECT_EQ(lines(temperature).first()->count(), 31);
    EXPECT_EQ(lines(temperature).first()->at(0), QPointF(at(9), 34));
    auto *x = qobject_cast<QDateTimeAxis *>(temperature->axes(Qt::Horizontal).value(0));
    auto *y = qobject_cast<QValueAxis *>(temperature->axes(Qt::Vertical).value(0));
    ASSERT_TRUE(x && y);
    EXPECT_EQ((QList<qint64>{x->min().toMSecsSinceEpoch(), x->max().toMSecsSinceEpoch()}), (QList<qint64>{at(9), at(39)}));
    EXPECT_EQ((QList<qreal>{y->min(), y->max()}), (QList<qreal>{25, 40}));

    // "Warning" from day 20 to the change on day 35, "Failed" from there on.
    const QList<QAreaSeries *> marks = bands(temperature);
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks[0]->name(), QStringLiteral("Warning"));
    EXPECT_EQ(marks[0]->upperSeries()->at(0), QPointF(at(20), 40));
    EXPECT_EQ(marks[0]->lowerSeries()->at(1), QPointF(at(35), 25));
    EXPECT_EQ(marks[1]->name(), QStringLiteral("Failed"));
    EXPECT_EQ(marks[1]->upperSeries()->at(0).x(), at(35));
    EXPECT_EQ(marks[1]->upperSeries()->at(1).x(), at(39));
    EXPECT_EQ(bands(page.counterChart()).size(), 2);
    const auto localTime = [&](int day) {
        return first.addDays(day).toLocalTime().toString(QStringLiteral("d MMM yyyy HH:mm"));
    };
    EXPECT_EQ(page.changesText(), QStringLiteral("Health changed: Passed → Warning on %1; Warning → Failed on %2.")
                                      .arg(localTime(20), localTime(35)));

    // Counters: only the one that changed, on whole steps from 0.
    ASSERT_EQ(lines(page.counterChart()).size(), 1);
    QLineSeries *reallocated = lines(page.counterChart()).first();
    EXPECT_EQ(reallocated->name(), QStringLiteral("Reallocated sectors"));
    EXPECT_EQ(reallocated->count(), 31);
    EXPECT_EQ(reallocated->at(30), QPointF(at(39), 63));
    auto *counts = qobject_cast<QValueAxis *>(page.counterChart()->axes(Qt::Vertical).value(0));
    ASSERT_TRUE(counts);
    EXPECT_EQ((QList<qreal>{counts->min(), counts->max(), counts->tickInterval()}), (QList<qreal>{0, 80, 20}));

    page.setSpan(HistoryPage::Span::Week);
    EXPECT_EQ(lines(page.temperatureChart()).first()->count(), 8);
    EXPECT_EQ(bands(page.temperatureChart()).size(), 2);
    EXPECT_EQ(page.changesText(), QStringLiteral("Health changed: Warning → Failed on %1.").arg(localTime(35)));
    page.setSpan(HistoryPage::Span::All);
    EXPECT_EQ(lines(page.temperatureChart()).first()->count(), 40);
    EXPECT_EQ(qobject_cast<QDateTimeAxis *>(page.temperatureChart()->axes(Qt::Horizontal).value(0))->min().toMSecsSinceEpoch(),
              at(0));

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
    QLineSeries *hourly = lines(page.temperatureChart()).first();
    EXPECT_EQ(hourly->count(), 1201);
    EXPECT_EQ(hourly->at(0), QPointF(at(0), 30));
    EXPECT_EQ(hourly->at(1200), QPointF(first.addSecs(3600 * 8759).toMSecsSinceEpoch(), 32));
    qreal peak = 0;
    for (const QPointF &p : hourly->points())
        peak = std::max(peak, p.y());
    EXPECT_EQ(peak, 70);

    // Healthy all along: no bands; a counter that stood still is named, not drawn.
    page.setDrive(steady);
    EXPECT_TRUE(bands(page.temperatureChart()).isEmpty());
    EXPECT_TRUE(page.findChildren<QChartView *>().value(1)->isHidden());
    EXPECT_EQ(page.changesText(), QStringLiteral("Health: Passed throughout. Unchanged: Reallocated sectors 5."));
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
    EXPECT_EQ(lines(history->temperatureChart()).first()->count(), 31);
    QFile::remove(historyDatabasePath());
}
