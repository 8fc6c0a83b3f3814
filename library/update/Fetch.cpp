// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/Fetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace corvane {

Fetch::Fetch(QNetworkAccessManager &manager, const QUrl &url, int timeoutMs, QObject *parent)
    : QObject(parent)
    , _url(url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Corvane/" CORVANE_VERSION));
    QNetworkReply *reply = manager.get(request);
    reply->setParent(this);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { done(reply); });
}

void Fetch::done(QNetworkReply *reply)
{
    if (reply->isOpen())
        _body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 0 && (status < 200 || status > 299))
        _error = QStringLiteral("HTTP status %1").arg(status);
    else if (reply->error() == QNetworkReply::OperationCanceledError)
        _error = QStringLiteral("timed out");
    else if (reply->error() != QNetworkReply::NoError)
        _error = reply->errorString();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (_error.isEmpty() && length.isValid() && length.toLongLong() != _body.size())
        _error = QStringLiteral("truncated: %1 of %2 bytes").arg(_body.size()).arg(length.toLongLong());

    _contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString().section(u';', 0, 0).trimmed().toLower();
    static const QRegularExpression dispositionName(QStringLiteral(R"re(filename\s*=\s*"?([^";]+)"?)re"),
                                                    QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = dispositionName.match(QString::fromLatin1(reply->rawHeader("Content-Disposition")));
    _fileName = m.hasMatch() ? m.captured(1).trimmed() : reply->url().fileName();
    reply->deleteLater();
    Q_EMIT finished();
}

} // namespace corvane
