// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl history [--json] [--since DATE] [--file FILE] DRIVE: the series
// the agent recorded for one drive.
// corvanectl history-generate --recorded DIR [--days N] [--end DATE] FILE:
// a made-up month of history for the drives of a recorded set (demos,
// screenshots, benchmarks).
#include "Command.h"
#include "DriveAccess.h"
#include "ShowFormat.h"

#include "drive/THSMARTDevice.h"
#include "history/HistoryDatabase.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace corvane::cli {

namespace {

// A date (local midnight) or an ISO 8601 date and time.
std::optional<QDateTime> parseDate(const QString &text)
{
    // QDate reads the date part of a longer text too: only ten characters are a date alone.
    if (const QDate date = QDate::fromString(text, Qt::ISODate); date.isValid() && text.size() == 10)
        return date.startOfDay();
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    return time.isValid() ? std::optional<QDateTime>(time) : std::nullopt;
}

QString columnTitle(const QString &key)
{
    const QString unit = historyValueUnit(key);
    return unit.isEmpty() ? historyValueLabel(key) : QStringLiteral("%1 (%2)").arg(historyValueLabel(key), unit);
}

QString printedIdentity(const QString &identity)
{
    const qsizetype bar = identity.lastIndexOf(QLatin1Char('|'));
    const QString model = identity.left(bar), serial = identity.mid(bar + 1);
    return serial.isEmpty() ? model : QStringLiteral("%1, serial %2").arg(model, serial);
}

int runHistory(const QStringList &args)
{
    CommandLine cl("history");
    const QCommandLineOption json = cl.jsonOption();
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("Only samples from <DATE> on (2026-11-01 or 2026-11-01T08:00)."),
                                   QStringLiteral("DATE"));
    const QCommandLineOption file(QStringLiteral("file"), QStringLiteral("Read the history file <FILE> instead of yours."),
                                  QStringLiteral("FILE"));
    cl.parser().addOption(since);
    cl.parser().addOption(file);
    if (const std::optional<int> exit = cl.parse(args, 1, 1))
        return *exit;
    QDateTime from;
    if (cl.parser().isSet(since)) {
        const std::optional<QDateTime> parsed = parseDate(cl.parser().value(since));
        if (!parsed) {
            err(QStringLiteral("corvanectl history: --since: '%1' is not a date (2026-11-01 or 2026-11-01T08:00)\n%2")
                    .arg(cl.parser().value(since), cl.usage()));
            return 2;
        }
        from = *parsed;
    }
    const QString drive = cl.arguments().constFirst();
    HistoryDatabase db(cl.parser().isSet(file) ? cl.parser().value(file) : historyDatabasePath(),
                       HistoryDatabase::Access::ReadOnly);
    QString error;
    if (!db.open(&error)) {
        err(QStringLiteral("corvanectl history: %1\n").arg(error));
        return 1;
    }
    // "/dev/sdb" names the drive as well as "sdb".
    const QString name = drive.startsWith(QLatin1String("/dev/")) ? drive.mid(5) : drive;
    const QList<HistorySample> samples = db.series(name, from);
    if (samples.isEmpty()) {
        const QStringList known = db.drives();
        err(QStringLiteral("corvanectl history: no history for '%1'%2; %3\n")
                .arg(drive, from.isValid() ? QStringLiteral(" since ") + from.toString(Qt::ISODate) : QString(),
                     known.isEmpty() ? QStringLiteral("no drive has any yet (the agent records one sample per drive at every read)")
                                     : QStringLiteral("drives with history: ") + known.join(QStringLiteral(", "))));
        return 1;
    }

    if (cl.parser().isSet(json)) {
        QJsonArray array;
        for (const HistorySample &s : samples) {
            QJsonObject o{{QStringLiteral("time"), s.time.toUTC().toString(Qt::ISODate)},
                          {QStringLiteral("drive"), s.drive},
                          {QStringLiteral("bsdName"), s.bsdName},
                          {QStringLiteral("health"), s.health}};
            for (const QString &key : historyValueKeys())
                if (const std::optional<qint64> v = counterValue(s, key))
                    o.insert(key, *v);
            array.append(o);
        }
        out(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return 0;
    }

    // Only the columns this drive ever reported.
    QStringList keys;
    for (const QString &key : historyValueKeys())
        if (std::any_of(samples.cbegin(), samples.cend(), [&](const HistorySample &s) { return counterValue(s, key).has_value(); }))
            keys << key;
    QList<QStringList> rows;
    QStringList head{QStringLiteral("Time"), QStringLiteral("Name"), QStringLiteral("Health")};
    for (const QString &key : keys)
        head << columnTitle(key);
    rows << head;
    for (const HistorySample &s : samples) {
        QStringList row{s.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                        s.bsdName.isEmpty() ? QStringLiteral("-") : s.bsdName, s.health};
        for (const QString &key : keys) {
            const std::optional<qint64> v = counterValue(s, key);
            row << (v ? QString::number(*v) : QStringLiteral("-"));
        }
        rows << row;
    }
    out(QStringLiteral("%1: %2, %3 samples\n").arg(samples.constLast().bsdName, printedIdentity(samples.constFirst().drive))
            .arg(samples.size()));
    out(formatTable(rows, QString()));
    return 0;
}

// Deterministic wobble in [-1, 1], so a generated file is the same every time.
double wobble(quint64 seed)
{
    seed ^= seed >> 33;
    seed *= 0xff51afd7ed558ccdULL;
    seed ^= seed >> 33;
    return double(seed % 2001) / 1000.0 - 1.0;
}

// The drive's sample `hoursBack` hours before its current one.
HistorySample backdated(const HistorySample &now, int hoursBack, int totalHours, quint64 driveSeed)
{
    if (hoursBack == 0)
        return now;
    HistorySample s = now;
    s.time = now.time.addSecs(-qint64(hoursBack) * 3600);
    const double age = double(hoursBack) / double(totalHours); // 1 at the start, 0 now
    if (now.temperature) {
        // Warmest in the afternoon, coolest before dawn.
        const int hour = s.time.toLocalTime().time().hour();
        const double daily = 4.0 * std::sin((double(hour) - 9.0) / 24.0 * 2.0 * M_PI);
        s.temperature = std::max<qint64>(15, *now.temperature - 2 + qint64(std::lround(daily + wobble(driveSeed + quint64(hoursBack)))));
    }
    if (now.powerOnHours)
        s.powerOnHours = std::max<qint64>(0, *now.powerOnHours - hoursBack);
    // Errors appear after the first 40 % of the period and grow to today's count.
    const auto grown = [&](std::optional<qint64> &value) {
        if (value && *value > 0)
            *value = qint64(std::floor(double(*value) * std::max(0.0, (0.6 - age) / 0.6)));
    };
    grown(s.reallocated);
    grown(s.pending);
    grown(s.offlineUncorrectable);
    grown(s.mediaErrors);
    if (now.unsafeShutdowns)
        s.unsafeShutdowns = std::max<qint64>(0, *now.unsafeShutdowns - (hoursBack + 100) / 240);
    if (now.percentageUsed && *now.percentageUsed > 0)
        s.percentageUsed = *now.percentageUsed - (age > 0.5 ? 1 : 0);
    // A drive in trouble now was fine before its errors began.
    const bool errors = s.reallocated.value_or(0) > 0 || s.pending.value_or(0) > 0
                        || s.offlineUncorrectable.value_or(0) > 0 || s.mediaErrors.value_or(0) > 0;
    if (now.health == QLatin1String("Warning") && !errors)
        s.health = QStringLiteral("Passed");
    if (now.health == QLatin1String("Failed") && age > 0.25)
        s.health = errors ? QStringLiteral("Warning") : QStringLiteral("Passed");
    return s;
}

int runGenerate(const QStringList &args)
{
    CommandLine cl("history-generate");
    const QCommandLineOption recorded = cl.recordedOption();
    const QCommandLineOption days(QStringLiteral("days"), QStringLiteral("How many days of hourly samples (default 30)."),
                                  QStringLiteral("N"), QStringLiteral("30"));
    const QCommandLineOption end(QStringLiteral("end"), QStringLiteral("Time of the newest sample (default: now)."),
                                 QStringLiteral("DATE"));
    cl.parser().addOption(days);
    cl.parser().addOption(end);
    if (const std::optional<int> exit = cl.parse(args, 1, 1))
        return *exit;
    bool ok = false;
    const int dayCount = cl.parser().value(days).toInt(&ok);
    if (!ok || dayCount < 1 || dayCount > 3660) {
        err(QStringLiteral("corvanectl history-generate: --days: a number from 1 to 3660\n") + cl.usage());
        return 2;
    }
    QDateTime newest = QDateTime::currentDateTimeUtc();
    if (cl.parser().isSet(end)) {
        const std::optional<QDateTime> parsed = parseDate(cl.parser().value(end));
        if (!parsed) {
            err(QStringLiteral("corvanectl history-generate: --end: '%1' is not a date\n").arg(cl.parser().value(end))
                + cl.usage());
            return 2;
        }
        newest = parsed->toUTC();
    }
    const QString target = cl.arguments().constFirst();
    if (QFileInfo::exists(target)) {
        err(QStringLiteral("corvanectl history-generate: %1 exists; it is never overwritten\n").arg(target));
        return 1;
    }
    std::optional<DriveSet> set = DriveSet::open(cl.parser().value(recorded), QStringLiteral("history-generate"));
    if (!set)
        return 1;
    QList<HistorySample> current;
    for (const QString &name : set->names()) {
        const std::unique_ptr<THSMARTDevice> device = set->device(name, QStringLiteral("history-generate"));
        if (!device)
            continue;
        set->read(*device);
        if (const std::optional<HistorySample> s = historySampleFromProperties(device->driveProperties(), newest))
            current << *s;
    }
    HistoryDatabase db(target);
    QString error;
    if (!db.open(&error)) {
        err(QStringLiteral("corvanectl history-generate: %1\n").arg(error));
        return 1;
    }
    // No thinning or cap: the file holds every generated hour.
    db.setLimits({dayCount + 1, std::numeric_limits<qint64>::max()});
    const int hours = dayCount * 24;
    for (int back = hours; back >= 0; --back) {
        QList<HistorySample> gather;
        for (qsizetype i = 0; i < current.size(); ++i)
            gather << backdated(current[i], back, hours, quint64(i) << 32);
        if (!db.append(gather)) {
            err(QStringLiteral("corvanectl history-generate: %1\n").arg(db.lastError()));
            return 1;
        }
    }
    out(QStringLiteral("%1: %2 drives, %3 samples each\n").arg(target).arg(current.size()).arg(hours + 1));
    return 0;
}

const CommandRegistrar registrar("history", {"history [--json] [--since DATE] [--file FILE] DRIVE",
                                             "the health history the agent recorded for a drive", runHistory});
const CommandRegistrar generator("history-generate",
                                 {"history-generate --recorded DIR FILE",
                                  "write a made-up history of a recorded set's drives (demos, tests)", runGenerate});

} // namespace

} // namespace corvane::cli
