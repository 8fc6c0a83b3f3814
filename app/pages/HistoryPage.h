// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The History tab: a drive's temperature and error counters over time, as the
// agent recorded them, with the periods of "Warning" and "Failed" shaded.
#include "pages/PageKit.h"

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QValueAxis;

namespace corvane::app {

// Fills the entry's history and counter growth from the database at `path`
// (read-only). A missing file leaves both empty; one that can't be read sets
// historyError. Runs on whatever thread reads the drive.
void readDriveHistory(DriveEntry &entry, const QString &path);

// The counters that count errors, of historyCounterKeys(): the History tab
// plots them, and their growth is painted as failing.
QStringList errorCounterKeys();
// "63, +8 in the last 7 days"
QString counterGrowthText(qint64 value, qint64 growth, int days);

class HistoryPage : public DrivePage
{
    Q_OBJECT
public:
    enum class Span { Week, Month, Year, All };

    explicit HistoryPage(int tag, QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry) override;
    void setSpan(Span span);

    // What the page shows, for tests and the accessible description.
    QChart *temperatureChart() const;
    QChart *counterChart() const;
    QString message() const;
    QString changesText() const;

private:
    void redraw();
    void alignPlots();

    QList<HistorySample> _samples;
    Span _span = Span::Month;
    QWidget *_bar;
    QComboBox *_spanBox;
    QLabel *_message;
    QLabel *_changes;
    QChartView *_temperature;
    QChartView *_counters;
};

} // namespace corvane::app
