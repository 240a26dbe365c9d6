#include "online/FeedbackWindow.h"

#include "base/DebugLog.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFormLayout>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTextEdit>

#include "online/InfoBox.h"
#include "online/RecordLog.h"
#include "online/WebRequest.h"

namespace {

// The service's reasons for refusing feedback (service/LumoService.cpp). The
// service always speaks Chinese; known reasons are shown in the user's
// language, anything else as it came.
const char* const kServiceReasons[] = {
    QT_TRANSLATE_NOOP("FeedbackWindow", "反馈内容不能为空"),
    QT_TRANSLATE_NOOP("FeedbackWindow", "反馈内容过长，请删减后再提交"),
};

QString ServiceReason(const QString& message)
{
    for (const char* reason : kServiceReasons) {
        if (message == QString::fromUtf8(reason))
            return FeedbackWindow::tr(reason);
    }
    return message;
}

} // namespace

FeedbackWindow::FeedbackWindow(QWidget* parent) : QMainWindow(parent)
{
    BuildForm();
    setWindowTitle(tr("问题反馈"));
    explainLabel_->setText(tr("请将您的问题输入下方输入框之后提交"));
    submitButton_->setText(tr("提交反馈"));
    connect(submitButton_, &QPushButton::clicked, this, &FeedbackWindow::submitBtnClick);

    manager_ = new QNetworkAccessManager(this);
    connect(manager_, &QNetworkAccessManager::finished, this, &FeedbackWindow::OnNetworkProcessFinished);

    record_log_ = new RecordLog(this);
    record_log_->recordFeedbackWindow();
}

FeedbackWindow::~FeedbackWindow()
{
    // Replies cut off with the manager must not reach a half-destroyed window.
    disconnect(manager_, nullptr, this, nullptr);
}

void FeedbackWindow::BuildForm()
{
    resize(400, 349);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralwidget"));
    central->setMinimumSize(400, 300);
    central->setMaximumSize(9999, 9999);
    central->setLayoutDirection(Qt::LeftToRight);

    auto* form = new QFormLayout(central);
    form->setObjectName(QStringLiteral("formLayout"));
    form->setLabelAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    form->setFormAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    auto* grid = new QGridLayout;
    grid->setObjectName(QStringLiteral("gridLayout"));
    grid->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding), 0, 1);
    explainLabel_ = new QLabel(QStringLiteral("TextLabel"), central);
    explainLabel_->setObjectName(QStringLiteral("explainLabel"));
    grid->addWidget(explainLabel_, 1, 1);
    grid->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 2, 0);
    descTextEdit_ = new QTextEdit(central);
    descTextEdit_->setObjectName(QStringLiteral("descTextEdit"));
    // Only the plain text is sent; pasted formatting is dropped on entry.
    descTextEdit_->setAcceptRichText(false);
    grid->addWidget(descTextEdit_, 2, 1);
    grid->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 2, 2);
    submitButton_ = new QPushButton(QStringLiteral("PushButton"), central);
    submitButton_->setObjectName(QStringLiteral("submitButton"));
    grid->addWidget(submitButton_, 3, 1);
    grid->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding), 4, 1);
    form->setLayout(0, QFormLayout::SpanningRole, grid);
    setCentralWidget(central);

    auto* menu = new QMenuBar(this);
    menu->setObjectName(QStringLiteral("menubar"));
    menu->setGeometry(0, 0, 400, 21);
    setMenuBar(menu);
    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("statusbar"));
    setStatusBar(status);
}

void FeedbackWindow::submitBtnClick()
{
    qCDebug(lumoDebug) << "test feedback submit btn click event!";
    const QString text = descTextEdit_->toPlainText();
    const QByteArray body = WebRequest::FormBody({{QStringLiteral("feedback"), text}});
    qCDebug(lumoDebug) << "feedback post_data=" << body;
    WebRequest::Post(manager_, QString::fromLatin1(kFeedbackPath), body);
    ++pending_;
}

void FeedbackWindow::OnNetworkProcessFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    --pending_;
    WebRequest::LogReplyStatus(reply);
    if (reply->error() != QNetworkReply::NoError) {
        qCDebug(lumoDebug) << "Failed:" << reply->errorString();
        InfoBox::Show(tr("网络错误"));
        ReleaseIfDone();
        return;
    }

    const QByteArray body = reply->readAll();
    const int code = WebRequest::ReplyCode(body);
    const QString message =
        QJsonDocument::fromJson(body).object().value(QStringLiteral("message")).toString();
    qCDebug(lumoDebug) << "resp_message=" << message;
    if (code != 200) {
        InfoBox::Show(tr("提交失败 %1").arg(ServiceReason(message)));
        ReleaseIfDone();
        return;
    }
    InfoBox::Show(tr("提交成功 请关注您的登录邮箱邮件"));
    if (!closed_)
        close();
    ReleaseIfDone();
}

void FeedbackWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    closed_ = true;
    ReleaseIfDone();
}

void FeedbackWindow::ReleaseIfDone()
{
    // A closed window stays until the replies to its requests are handled.
    if (closed_ && pending_ == 0)
        deleteLater();
}
