#include "online/RecordLog.h"

#include "base/DebugLog.h"

#include <QDebug>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>

#include <memory>

#include "base/Version.h"
#include "online/WebRequest.h"

namespace {
const QString kNull = QStringLiteral("NULL");
const QString kApp = QStringLiteral("YUVLumo");
const QString kInfo = QStringLiteral("INFO");
const QString kLumoImageView = QStringLiteral("LumoImageView");
const QString kLumoImageViewBlock = QStringLiteral("LumoImageViewBlock");
} // namespace

RecordLog::RecordLog(QObject* parent) : QObject(parent), manager_(new QNetworkAccessManager)
{
    qCDebug(lumoDebug) << "[record log ipAddress] = " << LocalAddress();
}

RecordLog::~RecordLog()
{
    // Let posts already on their way finish (each has a transfer timeout)
    // instead of cutting them off with the window that sent them.
    auto* manager = manager_;
    QList<QNetworkReply*> pending;
    for (QNetworkReply* reply : manager->findChildren<QNetworkReply*>()) {
        if (!reply->isFinished())
            pending.append(reply);
    }
    if (pending.isEmpty()) {
        delete manager;
        return;
    }
    auto remaining = std::make_shared<int>(pending.size());
    for (QNetworkReply* reply : pending) {
        QObject::connect(reply, &QNetworkReply::finished, manager, [manager, remaining] {
            if (--*remaining == 0)
                manager->deleteLater();
        });
    }
}

QByteArray RecordLog::EventBody(const QString& type, const QString& app, const QString& page, const QString& block,
                                const QString& action, const QString& information)
{
    return WebRequest::FormBody({
        {QStringLiteral("type"), type},
        {QStringLiteral("version"), QString::fromLatin1(lumo::kAppVersion)},
        {QStringLiteral("platform"), QStringLiteral("Windows")},
        {QStringLiteral("app"), app},
        {QStringLiteral("page"), page},
        {QStringLiteral("block"), block},
        {QStringLiteral("action"), action},
        {QStringLiteral("info"), QStringLiteral("[user_email]") + QStringLiteral("; [info] ") + information},
    });
}

void RecordLog::record(const QString& type, const QString& app, const QString& page, const QString& block,
                       const QString& action, const QString& information)
{
    const QByteArray body = EventBody(type, app, page, block, action, information);
    qCDebug(lumoDebug) << "record log post_data=" << body;
    QNetworkReply* reply = WebRequest::Post(manager_, QString::fromLatin1(kPath), body);
    // Nothing reads the reply; it is only released once done.
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

void RecordLog::recordOpenFile(int width, int height, const QString& yuvType, const QString& yuvPath)
{
    record(kInfo, kApp, QStringLiteral("OpenFileDialog"), QStringLiteral("OpenFile"),
           QStringLiteral("OpenFileBtnClick"),
           QStringLiteral("width:%1;height:%2;yuvtype:%3;yuvpath:%4").arg(width).arg(height).arg(yuvType, yuvPath));
}

void RecordLog::recordError(const QString& page, const QString& block, const QString& action,
                            const QString& information)
{
    record(QStringLiteral("ERROR"), kApp, page, block, action, information);
}

void RecordLog::recordAboutWindow()
{
    record(kInfo, kApp, QStringLiteral("AboutWindow"), QStringLiteral("AboutDevelopers"), kNull, kNull);
}

void RecordLog::recordMakerLink()
{
    record(kInfo, kApp, QStringLiteral("AboutWindow"), QStringLiteral("AboutDevelopers"),
           QStringLiteral("AboutOmbrelClick"), kNull);
}

void RecordLog::recordFeedbackWindow()
{
    record(kInfo, kApp, QStringLiteral("AboutWindow"), QStringLiteral("AboutFeedback"), kNull, kNull);
}

void RecordLog::recordMainWindow()
{
    record(kInfo, kApp, QStringLiteral("MainWindow"), kNull, kNull, kNull);
}

void RecordLog::recordMetric(const QString& description, double ssim, double psnrY, double psnrU, double psnrV)
{
    // Built piecewise: a description holding "%" must not be re-substituted.
    const QString info = description + QStringLiteral(" + [ssim=") + QString::number(ssim, 'g', 6) +
                         QStringLiteral(";psnrYUV=") + QString::number(psnrY, 'g', 6) + QLatin1Char(',') +
                         QString::number(psnrU, 'g', 6) + QLatin1Char(',') + QString::number(psnrV, 'g', 6) +
                         QLatin1Char(']');
    record(kInfo, kApp, kLumoImageView, kLumoImageViewBlock, QStringLiteral("LumoImageViewIQAClick"), info);
}

void RecordLog::recordPlayStart(const QString& description, int frameRate)
{
    record(kInfo, kApp, kLumoImageView, kLumoImageViewBlock, QStringLiteral("LumoImageViewPlayStartClick"),
           description + QStringLiteral(" + [fps:") + QString::number(frameRate) + QLatin1Char(']'));
}

void RecordLog::recordPlayStop(const QString& description)
{
    record(kInfo, kApp, kLumoImageView, kLumoImageViewBlock, QStringLiteral("LumoImageViewPlayStopClick"),
           QStringLiteral("file:") + description);
}

void RecordLog::recordOpen2nd(const QString& description)
{
    record(kInfo, kApp, kLumoImageView, kLumoImageViewBlock, QStringLiteral("LumoImageViewOpen2ndClick"),
           description);
}

void RecordLog::recordUpdate(bool download)
{
    record(kInfo, kApp, QStringLiteral("TopTabPage"), QStringLiteral("TopTabUpdateBlock"),
           download ? QStringLiteral("TopTabUpdateBlockDownload") : QStringLiteral("TopTabUpdateBlockClick"), kNull);
}

QString RecordLog::LocalAddress()
{
    QString result = QHostAddress(QHostAddress::LocalHost).toString();
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress& address : addresses) {
        if (address != QHostAddress(QHostAddress::LocalHost) && address.toIPv4Address() != 0) {
            result = address.toString();
            break;
        }
    }
    qCDebug(lumoDebug) << "strIpAddress1 " << result;
    return result;
}
