#include "app/AboutWindow.h"

#include "base/DebugLog.h"

#include <QDebug>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>

#include "online/NewVersionDiglog.h"
#include "online/RecordLog.h"
#include "base/Version.h"

namespace {
// Who made it and how to reach them; no single person is named.
const char kTeamName[] = "YUV Lumo team";
const char kTeamContact[] = "lumo-team@localhost";
} // namespace

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    introTextBrowser_->setHtml(IntroHtml(NewVersionDiglog::DownloadUrl()));
    setWindowTitle(tr("关于这两个工程师"));

    char title[100];
    std::snprintf(title, sizeof title, lumo::kProductTitleFormat, lumo::kAppVersion);
    versionLabel_->setText(QString::fromUtf8(title));

    // Links go to the desktop's browser; the document itself never changes.
    introTextBrowser_->setOpenLinks(false);
    introTextBrowser_->setOpenExternalLinks(false);
    connect(introTextBrowser_, &QTextBrowser::anchorClicked, this, &AboutWindow::openUrl);

    record_log_ = new RecordLog(this);
    record_log_->recordAboutWindow();
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::BuildForm()
{
    setObjectName(QStringLiteral("AboutWindow"));
    resize(519, 329);
    setWindowTitle(QStringLiteral("Form"));

    auto* row = new QHBoxLayout(this);
    row->setObjectName(QStringLiteral("horizontalLayout"));
    row->addItem(new QSpacerItem(10, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));

    auto* column = new QVBoxLayout;
    column->setObjectName(QStringLiteral("verticalLayout"));
    column->addItem(new QSpacerItem(20, 20, QSizePolicy::Minimum, QSizePolicy::Fixed));
    introTextBrowser_ = new QTextBrowser(this);
    introTextBrowser_->setObjectName(QStringLiteral("introTextBrowser"));
    column->addWidget(introTextBrowser_);
    versionLabel_ = new QLabel(QStringLiteral("TextLabel"), this);
    versionLabel_->setObjectName(QStringLiteral("versionLabel"));
    versionLabel_->setLayoutDirection(Qt::LeftToRight);
    versionLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    column->addWidget(versionLabel_);
    column->addItem(new QSpacerItem(20, 20, QSizePolicy::Minimum, QSizePolicy::Fixed));
    row->addLayout(column);

    row->addItem(new QSpacerItem(10, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));
}

QString AboutWindow::IntroHtml(const QString& siteUrl)
{
    const QString p = QStringLiteral("<p align=\"center\" style=\"margin:0;\">%1</p>");
    const QString empty =
        QStringLiteral("<p align=\"center\" style=\"-qt-paragraph-type:empty; margin:0;\"><br /></p>");
    const QString bold = QStringLiteral("<b>%1</b>");
    const QString site = siteUrl.toHtmlEscaped();
    QString html = QStringLiteral("<html><body style=\"font-size:13pt;\">");
    html += empty;
    html += p.arg(QStringLiteral("<b>YUV Lumo</b>"));
    html += p.arg(tr("更好用、更全面、更强大的YUV图像视频分析工具").toHtmlEscaped());
    html += empty;
    html += p.arg(bold.arg(tr("作者（排名不分先后）用爱发电二人组:").toHtmlEscaped()));
    //: The team's name and, in brackets, its address.
    const QString team = tr("%1（%2）").arg(QString::fromUtf8(kTeamName).toHtmlEscaped(),
                                          QString::fromUtf8(kTeamContact).toHtmlEscaped());
    html += p.arg(bold.arg(team));
    html += empty;
    html += p.arg(bold.arg(tr("官网").toHtmlEscaped()));
    html += p.arg(QStringLiteral("<a href=\"%1\"><span style=\"text-decoration:underline; color:#0000ff;\">%1</span></a>")
                      .arg(site));
    html += QStringLiteral("</body></html>");
    return html;
}

void AboutWindow::openUrl(const QUrl& url)
{
    qCDebug(lumoDebug, "open url: %s", url.toString().toUtf8().constData());
    record_log_->recordMakerLink();
    QDesktopServices::openUrl(url);
}
