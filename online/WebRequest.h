#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

class QNetworkAccessManager;
class QNetworkReply;

// The common form of every request to the web service and the envelope of
// its replies.
class WebRequest {
public:
    using Fields = QVector<QPair<QString, QString>>;

    // Base address: $LUMO_SERVICE_URL when set, else the build-time default.
    // Never ends with "/".
    static QString BaseUrl();

    // UTF-8 bytes with A-Z a-z 0-9 - . _ ~ kept, everything else as %XX
    // (upper-case hex; a space is %20).
    static QByteArray PercentEncode(const QString& value);
    // name=value pairs joined by "&", values percent-encoded, names as given.
    static QByteArray FormBody(const Fields& fields);

    // POSTs `body` to BaseUrl() + path with the form content type and its
    // length. The reply belongs to the manager.
    static QNetworkReply* Post(QNetworkAccessManager* manager, const QString& path, const QByteArray& body);

    // Prints status code and reason phrase of a finished reply.
    static void LogReplyStatus(QNetworkReply* reply);
    // "code" of a reply body: 0 unless the body is a JSON object whose
    // "code" is a number.
    static int ReplyCode(const QByteArray& body);
};
