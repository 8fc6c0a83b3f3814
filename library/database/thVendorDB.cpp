// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/thVendorDB.h"

#include "platform/Paths.h"

#include <QFile>
#include <QMutex>
#include <QStringDecoder>
#include <QStringTokenizer>

namespace corvane {

namespace {

QMutex &lock()
{
    static QMutex m;
    return m;
}

std::optional<QVariantMap> &cache()
{
    static std::optional<QVariantMap> db;
    return db;
}

QStringList &shipped()
{
    static QStringList paths{QStringLiteral("/usr/share/misc/pci.ids"), QStringLiteral("/usr/share/hwdata/pci.ids")};
    return paths;
}

QString trimBlanksTabs(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t'))
        ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t' || s[e - 1] == u'\r'))
        --e;
    return s.mid(b, e - b).toString();
}

// Four hex digits, then nothing or a blank: anything else is not an ID line.
bool isIdField(QStringView s)
{
    if (s.size() < 4 || (s.size() > 4 && s[4] != u' ' && s[4] != u'\t' && s[4] != u'\r'))
        return false;
    for (int i = 0; i < 4; ++i)
        if (!isxdigit(s[i].unicode() < 128 ? int(s[i].unicode()) : 0))
            return false;
    return true;
}

std::optional<QByteArray> readUtf8(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = f.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes); // decoding happens on conversion
    if (decoder.hasError() || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

} // namespace

QString thVendorDB::downloadedPath()
{
    return programDataDir() + QStringLiteral("vendorDatabase/pci.ids");
}

QStringList thVendorDB::shippedPaths()
{
    QMutexLocker l(&lock());
    return shipped();
}

void thVendorDB::setShippedPaths(const QStringList &paths)
{
    QMutexLocker l(&lock());
    shipped() = paths;
}

QVariantMap thVendorDB::parse(QByteArrayView bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QStringView all(text);
    // Class, subclass and interface lines follow this marker; none is a vendor.
    const qsizetype classes = all.indexOf(QLatin1String("List of known device classes"));
    if (classes >= 0)
        all = all.left(classes);

    QVariantMap result;
    const qsizetype at = all.indexOf(QLatin1String("Version:"));
    if (at >= 0) {
        const qsizetype eol = all.indexOf(u'\n', at);
        result.insert(QStringLiteral("version"), trimBlanksTabs(all.mid(at + 8, eol < 0 ? -1 : eol - at - 8)));
    } else {
        result.insert(QStringLiteral("version"), QString());
    }

    QString vendorId;
    QVariantMap vendor;
    const auto flush = [&] {
        if (!vendorId.isEmpty())
            result.insert(vendorId, vendor);
        vendorId.clear();
    };
    for (QStringView line : QStringTokenizer(all, u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u' '))
            continue;
        if (line.startsWith(QLatin1String("\t\t")))
            continue; // subsystem
        if (line.startsWith(u'\t')) {
            const QStringView device = line.mid(1);
            if (vendorId.isEmpty() || !isIdField(device))
                continue;
            vendor.insert(device.left(4).toString(), trimBlanksTabs(device.mid(5)));
        } else {
            flush();
            if (!isIdField(line))
                continue; // its device lines must not land under the vendor before it
            // A repeated vendor replaces the earlier record, devices included.
            vendorId = line.left(4).toString();
            vendor = QVariantMap{{QStringLiteral("name"), trimBlanksTabs(line.mid(5))}};
        }
    }
    flush();
    return result;
}

std::optional<QVariantMap> thVendorDB::unpackDB_PCIIDS()
{
    // The downloaded copy wins when readable; parsing only the shipped one
    // would make a refresh have no effect.
    std::optional<QByteArray> bytes = readUtf8(downloadedPath());
    for (const QString &path : shippedPaths()) {
        if (bytes)
            break;
        bytes = readUtf8(path);
    }
    if (!bytes)
        return std::nullopt;
    return parse(*bytes);
}

std::optional<QVariantMap> thVendorDB::vendorDatabase()
{
    {
        QMutexLocker l(&lock());
        if (cache())
            return cache();
    }
    std::optional<QVariantMap> parsed = unpackDB_PCIIDS();
    QMutexLocker l(&lock());
    if (!cache())
        cache() = parsed;
    return cache();
}

void thVendorDB::databaseDidUpdate()
{
    std::optional<QVariantMap> parsed = unpackDB_PCIIDS();
    QMutexLocker l(&lock());
    cache() = parsed;
}

} // namespace corvane
