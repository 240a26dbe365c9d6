#include "online/WebRequest.h"

#include "base/DebugLog.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#ifndef LUMO_SERVICE_URL_DEFAULT
#define LUMO_SERVICE_URL_DEFAULT "http://127.0.0.1:18321"
#endif

namespace {
// Requests never hang a window: an unanswered one fails after this long.
constexpr int kTransferTimeoutMs = 10000;
} // namespace

QString WebRequest::BaseUrl()
{
    QString base = qEnvironmentVariable("LUMO_SERVICE_URL");
    if (base.trimmed().isEmpty())
        base = QStringLiteral(LUMO_SERVICE_URL_DEFAULT);
    base = base.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QByteArray WebRequest::PercentEncode(const QString& value)
{
    // Qt keeps exactly the unreserved set and writes upper-case hex.
    return value.toUtf8().toPercentEncoding();
}

QByteArray WebRequest::FormBody(const Fields& fields)
{
    QByteArray body;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            body += '&';
        body += fields[i].first.toUtf8();
        body += '=';
        body += PercentEncode(fields[i].second);
    }
    return body;
}

QNetworkReply* WebRequest::Post(QNetworkAccessManager* manager, const QString& path, const QByteArray& body)
{
    QNetworkRequest request(QUrl(BaseUrl() + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    request.setTransferTimeout(kTransferTimeoutMs);
    return manager->post(request, body);
}

void WebRequest::LogReplyStatus(QNetworkReply* reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        qCDebug(lumoDebug) << "status code=" << status.toInt();
    const QVariant reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute);
    if (reason.isValid())
        qCDebug(lumoDebug) << "reason=" << reason.toString();
}

int WebRequest::ReplyCode(const QByteArray& body)
{
    const QJsonValue code = QJsonDocument::fromJson(body).object().value(QStringLiteral("code"));
    if (!code.isDouble())
        return 0;
    return code.toInt();
}
