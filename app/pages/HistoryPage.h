// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The History tab: a drive's temperature and error counters over time, as the
// agent recorded them, with the periods of "Warning" and "Failed" shaded.
#include "pages/PageKit.h"

#include <memory>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QValueAxis;

namespace corvane::app {

// Reads drives' history from the database at `path` (read-only) over one
// connection, opened on first use: a scan reads every drive through one
// reader. A missing file reads as no history; one that can't be read sets
// historyError. Lives and reads on one thread, whichever reads the drives.
class HistoryReader
{
public:
    explicit HistoryReader(QString path);
    ~HistoryReader();
    HistoryReader(const HistoryReader &) = delete;
    HistoryReader &operator=(const HistoryReader &) = delete;

    // What the Information page needs: whether the drive has history and the
    // counters that grew (growth); the series is left unread.
    void readSummary(DriveEntry &entry);
    // A drive's whole series (the History tab), by driveIdentity(); sets
    // `error` when the history can't be read.
    QList<HistorySample> series(const QString &identity, QString *error);

private:
    HistoryDatabase *database(QString *error);

    QString _path;
    std::unique_ptr<HistoryDatabase> _db;
    QString _error;
    bool _tried = false;
};

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
