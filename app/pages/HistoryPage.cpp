// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/HistoryPage.h"

#include "HealthStyle.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace corvane::app {

namespace {

// Days a span looks back from the newest sample; 0 for all.
int spanDays(HistoryPage::Span span)
{
    switch (span) {
    case HistoryPage::Span::Week:
        return 7;
    case HistoryPage::Span::Month:
        return 30;
    case HistoryPage::Span::Year:
        return 365;
    case HistoryPage::Span::All:
        break;
    }
    return 0;
}

// Fixed per value, so a counter keeps its colour from drive to drive; none
// near the health colours of the bands.
QColor lineColor(const QString &key, gui::Appearance appearance)
{
    static const QHash<QString, QColor> colors{
        {QStringLiteral("reallocated"), QColor(97, 53, 131)},
        {QStringLiteral("pending"), QColor(28, 113, 216)},
        {QStringLiteral("offlineUncorrectable"), QColor(134, 94, 60)},
        {QStringLiteral("crcErrors"), QColor(33, 144, 164)},
        {QStringLiteral("mediaErrors"), QColor(97, 53, 131)},
        {QStringLiteral("temperature"), QColor(26, 95, 180)},
    };
    const QColor color = colors.value(key, QColor(94, 92, 100));
    // The same hues, light enough for a dark background.
    return appearance == gui::Appearance::Dark ? color.lighter(170) : color;
}

// Points beyond a couple per pixel only cost drawing time (a year of hourly
// samples): each of `buckets` equal time slices keeps its lowest and highest
// point, in time order, so peaks survive; the ends stay.
QList<QPointF> thinned(const QList<QPointF> &points, int buckets)
{
    if (points.size() <= 2 * buckets)
        return points;
    const qreal first = points.first().x();
    const qreal width = (points.last().x() - first) / buckets;
    if (!(width > 0)) // all at one time: nothing to slice
        return points;
    const auto bucket = [&](const QPointF &p) { return std::min(buckets - 1, int((p.x() - first) / width)); };
    QList<QPointF> out;
    for (qsizetype i = 0; i < points.size();) {
        const int b = bucket(points[i]);
        QPointF low = points[i], high = points[i];
        qsizetype j = i + 1;
        for (; j < points.size() && bucket(points[j]) == b; ++j) {
            if (points[j].y() < low.y())
                low = points[j];
            if (points[j].y() > high.y())
                high = points[j];
        }
        if (low.x() > high.x())
            std::swap(low, high);
        out << low;
        if (high != low)
            out << high;
        i = j;
    }
    // The line still reaches both ends of the axis.
    if (out.first() != points.first())
        out.prepend(points.first());
    if (out.last() != points.last())
        out << points.last();
    return out;
}

constexpr int kBuckets = 600;

QString when(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("d MMM yyyy HH:mm"));
}

// A period of one health word, from its first sample to the sample that
// ended it (or the newest).
struct HealthRun
{
    QString health;
    qint64 from;
    qint64 to;
};

QList<HealthRun> healthRuns(const QList<HistorySample> &samples)
{
    QList<HealthRun> runs;
    for (const HistorySample &s : samples) {
        const qint64 t = s.time.toMSecsSinceEpoch();
        if (!runs.isEmpty())
            runs.last().to = t;
        if (runs.isEmpty() || runs.last().health != s.health)
            runs.append({s.health, t, t});
    }
    return runs;
}

QChart *newChart(const QString &title, gui::Appearance appearance)
{
    auto *chart = new QChart;
    chart->setTheme(appearance == gui::Appearance::Dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart->setBackgroundVisible(false);
    chart->setTitle(title);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QDateTimeAxis *timeAxis(QChart *chart, qint64 from, qint64 to)
{
    auto *axis = new QDateTimeAxis;
    const qint64 days = (to - from) / (24 * 3600 * 1000);
    axis->setFormat(days > 90 ? QStringLiteral("MMM yyyy") : days >= 3 ? QStringLiteral("d MMM") : QStringLiteral("d MMM HH:mm"));
    axis->setTickCount(7);
    axis->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    chart->addAxis(axis, Qt::AlignBottom);
    return axis;
}

// Shades the "Warning" and "Failed" periods across the whole height, under
// the lines; one legend entry per health word.
void addHealthBands(QChart *chart, const QList<HealthRun> &runs, QDateTimeAxis *x, QValueAxis *y,
                    gui::Appearance appearance)
{
    // A period of one sample still shows.
    const qint64 minWidth = (x->max().toMSecsSinceEpoch() - x->min().toMSecsSinceEpoch()) / 150;
    QStringList named;
    for (const HealthRun &run : runs) {
        if (run.health != QLatin1String("Warning") && run.health != QLatin1String("Failed"))
            continue;
        qint64 from = run.from, to = run.to;
        if (to - from < minWidth) {
            to = std::min(from + minWidth, x->max().toMSecsSinceEpoch());
            from = to - minWidth;
        }
        auto *upper = new QLineSeries;
        auto *lower = new QLineSeries;
        upper->append(from, y->max());
        upper->append(to, y->max());
        lower->append(from, y->min());
        lower->append(to, y->min());
        auto *band = new QAreaSeries(upper, lower);
        upper->setParent(band);
        lower->setParent(band);
        band->setName(run.health);
        QColor color = gui::statusColor(run.health, appearance);
        band->setPen(Qt::NoPen);
        color.setAlpha(60);
        band->setBrush(color);
        chart->addSeries(band);
        band->attachAxis(x);
        band->attachAxis(y);
        const QList<QLegendMarker *> markers = chart->legend()->markers(band);
        if (named.contains(run.health) && !markers.isEmpty())
            markers.first()->setVisible(false);
        named << run.health;
    }
}

} // namespace

HistoryReader::HistoryReader(QString path) : _path(std::move(path)) {}

HistoryReader::~HistoryReader() = default;

HistoryDatabase *HistoryReader::database(QString *error)
{
    if (!_tried) {
        _tried = true;
        if (QFileInfo::exists(_path)) {
            _db = std::make_unique<HistoryDatabase>(_path, HistoryDatabase::Access::ReadOnly);
            if (!_db->open(&_error))
                _db.reset();
        }
    }
    *error = _error;
    return _db.get();
}

void HistoryReader::readSummary(DriveEntry &entry)
{
    entry.history.clear();
    entry.growth.clear();
    entry.historyError.clear();
    entry.hasHistory = entry.historyRead = false;
    const QString identity = driveIdentity(entry.properties());
    HistoryDatabase *db = identity.isEmpty() ? nullptr : database(&entry.historyError);
    const std::optional<HistorySample> newest = db ? db->latest(identity) : std::nullopt;
    if (!newest)
        return;
    entry.hasHistory = true;
    for (const QString &key : historyCounterKeys()) {
        const std::optional<qint64> value = counterValue(*newest, key);
        if (!value)
            continue;
        const std::optional<qint64> grew = db->growth(identity, key, DriveEntry::kGrowthDays);
        if (grew && *grew > 0)
            entry.growth.append({key, *value, *grew});
    }
}

QList<HistorySample> HistoryReader::series(const QString &identity, QString *error)
{
    HistoryDatabase *db = identity.isEmpty() ? nullptr : database(error);
    return db ? db->series(identity) : QList<HistorySample>();
}

QStringList errorCounterKeys()
{
    return {QStringLiteral("reallocated"), QStringLiteral("pending"), QStringLiteral("offlineUncorrectable"),
            QStringLiteral("crcErrors"), QStringLiteral("mediaErrors")};
}

QString counterGrowthText(qint64 value, qint64 growth, int days)
{
    return QStringLiteral("%1, +%2 in the last %3 days").arg(value).arg(growth).arg(days);
}

HistoryPage::HistoryPage(int tag, QWidget *parent)
    : DrivePage(QStringLiteral("History"), tag, parent), _bar(new QWidget), _spanBox(new QComboBox), _message(new QLabel),
      _changes(new QLabel), _temperature(new QChartView), _counters(new QChartView)
{
    auto *bar = new QHBoxLayout(_bar);
    bar->setContentsMargins(0, 0, 0, 0);
    auto *spanLabel = new QLabel(QStringLiteral("Period:"));
    spanLabel->setBuddy(_spanBox);
    _spanBox->addItems({QStringLiteral("Last 7 days"), QStringLiteral("Last 30 days"), QStringLiteral("Last 12 months"),
                        QStringLiteral("All")});
    _spanBox->setCurrentIndex(int(_span));
    _spanBox->setAccessibleName(QStringLiteral("Period"));
    connect(_spanBox, &QComboBox::currentIndexChanged, this, [this](int i) { setSpan(Span(i)); });
    bar->addWidget(spanLabel);
    bar->addWidget(_spanBox);
    bar->addSpacing(12);
    bar->addWidget(_changes, 1);
    _changes->setWordWrap(true);
    _changes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    _message->setWordWrap(true);
    _message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    _message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QChartView *view : {_temperature, _counters}) {
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumHeight(200);
        view->setFrameShape(QFrame::NoFrame);
    }
    _temperature->setAccessibleName(QStringLiteral("Temperature over time"));
    _counters->setAccessibleName(QStringLiteral("Error counters over time"));
    body()->addWidget(_bar);
    body()->addWidget(_message);
    body()->addWidget(_temperature, 1);
    body()->addWidget(_counters, 1);
}

void HistoryPage::setDrive(const DriveEntry &entry)
{
    DrivePage::setDrive(entry);
    _samples = entry.history;
    if (!entry.historyError.isEmpty())
        _message->setText(QStringLiteral("The history of this drive could not be read: %1.").arg(entry.historyError));
    else if (entry.hasHistory && !entry.historyRead)
        _message->setText(QStringLiteral("Reading the history of this drive…"));
    else
        _message->setText(QStringLiteral("No history yet: the agent records each drive's temperature and error "
                                         "counters every time it reads the drives (at its start and every hour)."));
    redraw();
}

void HistoryPage::setSpan(Span span)
{
    // The box's signal comes back here once it shows the span.
    if (_spanBox->currentIndex() != int(span)) {
        _spanBox->setCurrentIndex(int(span));
        return;
    }
    _span = span;
    redraw();
}

QChart *HistoryPage::temperatureChart() const
{
    return _temperature->chart();
}

QChart *HistoryPage::counterChart() const
{
    return _counters->chart();
}

QString HistoryPage::message() const
{
    return _message->isHidden() ? QString() : _message->text();
}

QString HistoryPage::changesText() const
{
    return _changes->text();
}

void HistoryPage::redraw()
{
    const bool empty = _samples.isEmpty();
    _message->setVisible(empty);
    _bar->setVisible(!empty);
    const gui::Appearance appearance = gui::systemAppearance();
    // Axis label formats are not Unicode: the unit goes in the title.
    QChart *temperature = newChart(QStringLiteral("Temperature (°C)"), appearance);
    QChart *counters = newChart(QStringLiteral("Error counters"), appearance);
    const auto swap = [](QChartView *view, QChart *chart) {
        QChart *old = view->chart();
        view->setChart(chart);
        delete old;
    };
    if (empty) {
        swap(_temperature, temperature);
        swap(_counters, counters);
        _temperature->hide();
        _counters->hide();
        _changes->clear();
        return;
    }

    const qint64 newest = _samples.last().time.toMSecsSinceEpoch();
    const int days = spanDays(_span);
    const qint64 start = days ? std::max(_samples.first().time.toMSecsSinceEpoch(), newest - qint64(days) * 24 * 3600 * 1000)
                              : _samples.first().time.toMSecsSinceEpoch();
    QList<HistorySample> shown;
    for (const HistorySample &s : std::as_const(_samples))
        if (s.time.toMSecsSinceEpoch() >= start)
            shown << s;
    // One sample still gets an hour either side to sit in.
    const qint64 from = start < newest ? start : newest - 3600 * 1000;
    const qint64 to = start < newest ? newest : newest + 3600 * 1000;
    const QList<HealthRun> runs = healthRuns(shown);

    QStringList changes;
    for (qsizetype i = 1; i < runs.size(); ++i)
        changes << QStringLiteral("%1 → %2 on %3")
                       .arg(runs[i - 1].health, runs[i].health, when(QDateTime::fromMSecsSinceEpoch(runs[i].from)));
    _changes->setText(changes.isEmpty() ? QStringLiteral("Health: %1 throughout.").arg(runs.first().health)
                                        : QStringLiteral("Health changed: %1.").arg(changes.join(QStringLiteral("; "))));

    // Temperature, on an axis of whole 5 °C steps around the readings.
    QList<QPointF> points;
    qint64 low = 0, high = 0;
    for (const HistorySample &s : std::as_const(shown)) {
        if (!s.temperature)
            continue;
        low = points.isEmpty() ? *s.temperature : std::min(low, *s.temperature);
        high = points.isEmpty() ? *s.temperature : std::max(high, *s.temperature);
        points << QPointF(s.time.toMSecsSinceEpoch(), *s.temperature);
    }
    _temperature->setVisible(!points.isEmpty());
    if (!points.isEmpty()) {
        QDateTimeAxis *x = timeAxis(temperature, from, to);
        auto *y = new QValueAxis;
        const qint64 bottom = qint64(std::floor((low - 2) / 5.0)) * 5;
        const qint64 top = qint64(std::ceil((high + 2) / 5.0)) * 5;
        y->setRange(bottom, top);
        y->setTickType(QValueAxis::TicksDynamic);
        y->setTickAnchor(bottom);
        y->setTickInterval(top - bottom > 40 ? 10 : 5);
        y->setLabelFormat(QStringLiteral("%d"));
        temperature->addAxis(y, Qt::AlignLeft);
        addHealthBands(temperature, runs, x, y, appearance);
        auto *line = new QLineSeries;
        line->setName(QStringLiteral("Temperature"));
        line->replace(thinned(points, kBuckets));
        line->setPen(QPen(lineColor(QStringLiteral("temperature"), appearance), 2));
        temperature->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
        temperature->legend()->setVisible(temperature->series().size() > 1);
    }

    // The error counters that changed in the span; one that stood still is
    // named with its value instead (a large steady count would flatten the
    // others on a shared axis).
    QList<QLineSeries *> lines;
    QStringList unchanged;
    qint64 most = 0;
    for (const QString &key : errorCounterKeys()) {
        QList<QPointF> values;
        qint64 keyLeast = 0, keyMost = 0;
        for (const HistorySample &s : std::as_const(shown))
            if (const std::optional<qint64> v = counterValue(s, key)) {
                keyLeast = values.isEmpty() ? *v : std::min(keyLeast, *v);
                keyMost = values.isEmpty() ? *v : std::max(keyMost, *v);
                values << QPointF(s.time.toMSecsSinceEpoch(), *v);
            }
        if (keyMost == 0)
            continue;
        if (keyLeast == keyMost) {
            unchanged << QStringLiteral("%1 %2").arg(historyValueLabel(key)).arg(keyMost);
            continue;
        }
        most = std::max(most, keyMost);
        auto *line = new QLineSeries;
        line->setName(historyValueLabel(key));
        line->replace(thinned(values, kBuckets));
        line->setPen(QPen(lineColor(key, appearance), 2));
        lines << line;
    }
    _counters->setVisible(!lines.isEmpty());
    if (!lines.isEmpty()) {
        QDateTimeAxis *x = timeAxis(counters, from, to);
        auto *y = new QValueAxis;
        // Whole numbers: at most five steps of 1, 2 or 5 × 10ⁿ.
        qint64 step = 1;
        for (int i = 0; step * 5 < most; ++i)
            step = step / (i % 3 == 1 ? 2 : 1) * (i % 3 == 1 ? 5 : 2);
        y->setRange(0, (most + step - 1) / step * step);
        y->setTickType(QValueAxis::TicksDynamic);
        y->setTickAnchor(0);
        y->setTickInterval(step);
        y->setLabelFormat(QStringLiteral("%d"));
        counters->addAxis(y, Qt::AlignLeft);
        addHealthBands(counters, runs, x, y, appearance);
        for (QLineSeries *line : std::as_const(lines)) {
            counters->addSeries(line);
            line->attachAxis(x);
            line->attachAxis(y);
        }
    }
    if (!unchanged.isEmpty())
        _changes->setText(_changes->text() + QStringLiteral(" Unchanged: %1.").arg(unchanged.join(QStringLiteral(", "))));
    else if (lines.isEmpty())
        _changes->setText(_changes->text() + QStringLiteral(" No error counter was above 0."));
    swap(_temperature, temperature);
    swap(_counters, counters);
    for (QChart *chart : {temperature, counters})
        connect(chart, &QChart::plotAreaChanged, this, &HistoryPage::alignPlots, Qt::QueuedConnection);
}

void HistoryPage::alignPlots()
{
    // One time axis above the other: the plots start at the same x, whatever
    // the width of their value labels.
    if (_temperature->isHidden() || _counters->isHidden())
        return;
    QChart *top = _temperature->chart();
    QChart *bottom = _counters->chart();
    const int diff = qRound(top->plotArea().left() - bottom->plotArea().left());
    if (diff == 0)
        return;
    QChart *shifted = diff < 0 ? top : bottom;
    QMargins margins = shifted->margins();
    margins.setLeft(margins.left() + std::abs(diff));
    shifted->setMargins(margins);
}

} // namespace corvane::app
