// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace corvane {

class Fetch;

// Downloads one file to a local path and announces the result. The file at
// the destination is replaced only by a download that the validator accepts;
// the previous one is kept beside it as "<name>.old" and the write is atomic.
class thDownload : public QObject
{
    Q_OBJECT
public:
    // Why `bytes` must not replace `installed` ("" to accept). `installed`
    // is empty when there is no file yet.
    using Validator = std::function<QString(const QByteArray &bytes, const QByteArray &installed)>;

    explicit thDownload(QObject *parent = nullptr);
    ~thDownload() override;

    void setTimeout(int milliseconds) { _timeoutMs = milliseconds; }
    void setValidator(Validator validator) { _validator = std::move(validator); }

    // False when a download of this object is still running.
    bool downloadFrom(const QString &srcURL, const QString &dstPath);
    // The vendor database: the PCI ID repository's pci.ids to
    // thVendorDB::downloadedPath(), accepted only when it parses with at least
    // one vendor and is not older than the copy there; the vendor database is
    // re-read after an install.
    bool updateVendorDB();

    static QString vendorDatabaseSource();
    // Rejects text with no vendor and a version older than the installed one.
    static QString validatePciIds(const QByteArray &bytes, const QByteArray &installed);

    QString srcURL() const { return _src; }
    QString dstPath() const { return _dst; }

Q_SIGNALS:
    // error is "pass" on success, else why nothing was installed.
    void downloadStatusUpdate(const QString &srcURL, const QString &dstPath, const QString &error);

private:
    void fetched();

    QString _src, _dst;
    int _timeoutMs = 15000;
    Validator _validator;
    bool _vendorDatabase = false;
    std::unique_ptr<QNetworkAccessManager> _network;
    QPointer<Fetch> _fetch;
};

} // namespace corvane
