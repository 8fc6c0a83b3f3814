// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/thDownload.h"

#include "database/thVendorDB.h"
#include "update/Fetch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSaveFile>

namespace corvane {

thDownload::thDownload(QObject *parent)
    : QObject(parent)
{
}

thDownload::~thDownload() = default;

QString thDownload::vendorDatabaseSource()
{
    return QStringLiteral("https://pci-ids.ucw.cz/v2.2/pci.ids");
}

QString thDownload::validatePciIds(const QByteArray &bytes, const QByteArray &installed)
{
    // An error page parses as a "vendor" too; the repository's file always
    // carries its version line.
    const VendorIndex fresh(bytes);
    if (fresh.size() == 0 || fresh.version().isEmpty())
        return QStringLiteral("not a pci.ids file");
    // The repository's versions are dates (2024.01.02), so text order is time order.
    const QString before = installed.isEmpty() ? QString() : VendorIndex(installed).version();
    if (!before.isEmpty() && fresh.version() < before)
        return QStringLiteral("version %1 is older than the installed %2").arg(fresh.version(), before);
    return QString();
}

bool thDownload::updateVendorDB()
{
    _validator = &thDownload::validatePciIds;
    if (!downloadFrom(vendorDatabaseSource(), thVendorDB::downloadedPath()))
        return false;
    _vendorDatabase = true;
    return true;
}

bool thDownload::downloadFrom(const QString &srcURL, const QString &dstPath)
{
    if (_fetch)
        return false;
    _src = srcURL;
    _dst = dstPath;
    _vendorDatabase = false;
    QDir().mkpath(QFileInfo(dstPath).absolutePath());
    if (!_network)
        _network = std::make_unique<QNetworkAccessManager>();
    _fetch = new Fetch(*_network, QUrl(srcURL), _timeoutMs, this);
    connect(_fetch, &Fetch::finished, this, &thDownload::fetched);
    return true;
}

void thDownload::fetched()
{
    Fetch *fetch = _fetch;
    _fetch = nullptr;
    fetch->deleteLater();
    auto report = [this](const QString &error) { Q_EMIT downloadStatusUpdate(_src, _dst, error); };
    if (!fetch->ok())
        return report(fetch->error());

    QFile current(_dst);
    const QByteArray installed = current.open(QIODevice::ReadOnly) ? current.readAll() : QByteArray();
    current.close();
    if (_validator) {
        if (const QString why = _validator(fetch->body(), installed); !why.isEmpty())
            return report(why);
    }
    if (!installed.isEmpty()) {
        const QString old = _dst + QStringLiteral(".old");
        QFile::remove(old);
        if (!QFile::copy(_dst, old))
            return report(QStringLiteral("cannot keep the previous file as %1").arg(old));
    }
    QSaveFile file(_dst);
    if (!file.open(QIODevice::WriteOnly) || file.write(fetch->body()) != fetch->body().size() || !file.commit())
        return report(file.errorString());
    if (_vendorDatabase)
        thVendorDB::databaseDidUpdate();
    report(QStringLiteral("pass"));
}

} // namespace corvane
