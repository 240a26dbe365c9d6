#include "online/NewVersionDiglog.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFont>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkReply>
#include <QSpacerItem>
#include <QUrl>
#include <QVBoxLayout>

#include "online/RecordLog.h"
#include "online/WebRequest.h"

NewVersionDiglog::NewVersionDiglog(const QString& version, QWidget* parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    setWindowTitle(tr("检查到新版本"));

    QFont font;
    font.setFamily(QStringLiteral("黑体"));
    font.setPointSize(20);
    font.setBold(true);
    font.setWeight(75);
    new_version_label_->setFont(font);
    // The version comes from the network: never read it as markup.
    new_version_label_->setTextFormat(Qt::PlainText);
    new_version_label_->setText(tr("发现新版本：") + version);

    new_version_link_->setTextFormat(Qt::RichText);
    new_version_link_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    new_version_link_->setOpenExternalLinks(false);
    new_version_link_->setText(QStringLiteral("<a style=\"color:blue;\" href=\"%1\">%2</a>")
                                   .arg(DownloadUrl().toHtmlEscaped(), tr("点击下载").toHtmlEscaped()));
    connect(new_version_link_, &QLabel::linkActivated, this, &NewVersionDiglog::openUrl);

    record_log_ = new RecordLog(this);
}

NewVersionDiglog::~NewVersionDiglog() = default;

void NewVersionDiglog::BuildForm()
{
    setObjectName(QStringLiteral("NewVersionDiglog"));
    resize(465, 301);

    auto* column = new QVBoxLayout(this);
    column->setObjectName(QStringLiteral("verticalLayout"));
    column->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* versionRow = new QHBoxLayout;
    versionRow->setObjectName(QStringLiteral("horizontalLayout_2"));
    new_version_label_ = new QLabel(QStringLiteral("TextLabel"), this);
    new_version_label_->setObjectName(QStringLiteral("new_version_label"));
    versionRow->addWidget(new_version_label_);
    versionRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    column->addLayout(versionRow);

    auto* linkRow = new QHBoxLayout;
    linkRow->setObjectName(QStringLiteral("horizontalLayout"));
    new_version_link_ = new QLabel(QStringLiteral("TextLabel"), this);
    new_version_link_->setObjectName(QStringLiteral("new_version_link"));
    linkRow->addWidget(new_version_link_);
    linkRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    column->addLayout(linkRow);

    column->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
}

QString NewVersionDiglog::DownloadUrl()
{
    return WebRequest::BaseUrl() + QStringLiteral("/#/YuvLumo");
}

QNetworkReply* NewVersionDiglog::RequestLatestVersion(QNetworkAccessManager* manager)
{
    return WebRequest::Post(manager, QString::fromLatin1(kVersionPath), QByteArray());
}

bool NewVersionDiglog::ReadLatestVersion(QNetworkReply* reply, QString& version)
{
    version.clear();
    WebRequest::LogReplyStatus(reply);
    if (reply->error() != QNetworkReply::NoError)
        return false;
    const QByteArray body = reply->readAll();
    if (WebRequest::ReplyCode(body) != 200)
        return false;
    const QJsonObject model = QJsonDocument::fromJson(body).object().value(QStringLiteral("model")).toObject();
    version = model.value(QStringLiteral("version")).toString();
    return true;
}

void NewVersionDiglog::openUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
    record_log_->recordUpdate(true);
}
