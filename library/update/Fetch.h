// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane {

// One HTTP(S) GET with what the database refreshes judge it by. TLS
// verification is Qt's default and is never relaxed here.
class Fetch : public QObject
{
    Q_OBJECT
public:
    Fetch(QNetworkAccessManager &manager, const QUrl &url, int timeoutMs, QObject *parent = nullptr);

    QUrl url() const { return _url; }
    bool ok() const { return _error.isEmpty(); }
    // Why the download failed ("" when it did not): network error, HTTP
    // status, or a body shorter than its announced length.
    QString error() const { return _error; }
    QByteArray body() const { return _body; }
    // MIME type without parameters, lower case ("text/plain").
    QString contentType() const { return _contentType; }
    // Content-Disposition's file name, else the last segment of the path.
    QString suggestedFileName() const { return _fileName; }

Q_SIGNALS:
    void finished();

private:
    void done(QNetworkReply *reply);

    QUrl _url;
    QString _error;
    QByteArray _body;
    QString _contentType;
    QString _fileName;
};

} // namespace corvane
