// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/DisplayFormats.h"

#include "database/thVendorDB.h"

#include <QFileInfo>
#include <QMutex>

namespace corvane::display {

namespace {

QString describe(const QVariant &value)
{
    return value.toString();
}

QMutex gVendorMutex;
std::shared_ptr<const VendorIndex> &vendorIndex()
{
    static std::shared_ptr<const VendorIndex> index;
    return index;
}

// 1234567 -> "1,234,567", whatever the locale: the form is fixed.
QString grouped(qint64 n)
{
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return n < 0 ? QLatin1Char('-') + digits : digits;
}

} // namespace

QString blankLineXfmr(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("-");
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        qsizetype i = 0;
        while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
            ++i;
        return i == text.size() ? QStringLiteral("-") : text;
    }
    return value.toString();
}

QString memUnitXfmr(double v)
{
    if (v == 0)
        return QStringLiteral("-");
    if (v < 1000)
        return QStringLiteral("%1 B ").arg(v, 0, 'f', 0);
    if (v < 1e6)
        return QStringLiteral("%1 KB").arg(v / 1e3, 0, 'f', 0);
    if (v < 1e9)
        return QStringLiteral("%1 MB").arg(v / 1e6, 0, 'f', 1);
    if (v < 1e12)
        return QStringLiteral("%1 GB").arg(v / 1e9, 0, 'f', 3);
    return QStringLiteral("%1 TB").arg(v / 1e12, 0, 'f', 3);
}

QString boolXfmr(bool value)
{
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString hexXfmr(qint64 value)
{
    // Negative values print as their 64-bit pattern, as %llX would.
    return QStringLiteral("%1").arg(quint64(value), 2, 16, QLatin1Char('0')).toUpper() + QLatin1Char('h');
}

QString hoursXfmr(qint64 h)
{
    if (h == 0)
        return QStringLiteral("-");
    // Hundredths of an hour in 64 bits: 32 bits overflow above 21 million hours,
    // which a garbage raw value easily claims.
    constexpr qint64 year = 876582, month = 73048, day = 2400, hour = 100;
    const qint64 t = h * 100;
    const qint64 years = t / year, r1 = t - years * year;
    const qint64 months = r1 / month, r2 = r1 - months * month;
    const qint64 days = r2 / day, r3 = r2 - days * day;
    const qint64 hours = r3 / hour;
    QStringList parts;
    if (h >= 8766)
        parts << QStringLiteral("%1 %2").arg(years).arg(t < 2 * year ? QStringLiteral("year") : QStringLiteral("years"));
    if (r1 >= month)
        parts << QStringLiteral("%1 %2").arg(months).arg(r1 < 2 * month ? QStringLiteral("month") : QStringLiteral("months"));
    if (r2 >= day)
        parts << QStringLiteral("%1 %2").arg(days).arg(r2 < 2 * day ? QStringLiteral("day") : QStringLiteral("days"));
    if (r3 >= hour)
        parts << QStringLiteral("%1 %2").arg(hours).arg(r3 < 2 * hour ? QStringLiteral("hour") : QStringLiteral("hours"));
    return QStringLiteral("%1 (%2)").arg(grouped(h), parts.join(QStringLiteral(", ")));
}

QString temperatureXfmr(qint64 t)
{
    if (t < 1)
        return QStringLiteral("-");
    return QStringLiteral("%1 ℃ / %2 ℉").arg(t).arg(double(t) * 1.8 + 32, 0, 'f', 1);
}

QString minutesXfmr(const QVariant &value)
{
    return describe(value) + QStringLiteral(" minutes");
}

QString pagesXfmr(const QVariant &value)
{
    return describe(value) + QStringLiteral(" pages");
}

QString percentXfmr(const QVariant &value)
{
    return describe(value) + QStringLiteral(" %");
}

void setVendorIndex(std::shared_ptr<const VendorIndex> vendors)
{
    QMutexLocker lock(&gVendorMutex);
    vendorIndex() = std::move(vendors);
}

QString vid2vXfmr(const QString &vendorId)
{
    QMutexLocker lock(&gVendorMutex);
    const QString name = vendorIndex() ? vendorIndex()->vendorName(vendorId) : QString();
    if (name.isEmpty())
        return QStringLiteral("(%1)").arg(vendorId);
    return QStringLiteral("%1 (%2)").arg(name, vendorId);
}

QString mfgLogoXfmr(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isReadable() ? path : QString();
}

QString todXfmr(qint64 s)
{
    const quint64 a = s < 0 ? 0 - quint64(s) : quint64(s);
    return QStringLiteral("%1%2:%3:%4")
        .arg(s < 0 ? QLatin1Char('-') : QLatin1Char(' '))
        .arg(a / 3600, 2, 10, QLatin1Char('0'))
        .arg(a % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(a % 60, 2, 10, QLatin1Char('0'));
}

QString pfw_iconXfmr(const QString &health)
{
    if (health == QLatin1String("Passed"))
        return QStringLiteral("NSStatusAvailableFlat");
    if (health == QLatin1String("Warning"))
        return QStringLiteral("NSStatusPartiallyAvailableFlat");
    if (health == QLatin1String("Failed"))
        return QStringLiteral("NSStatusUnavailableFlat");
    return QStringLiteral("NSStatusNone");
}

} // namespace corvane::display
