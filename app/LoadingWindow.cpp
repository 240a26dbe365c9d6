#include "app/LoadingWindow.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QSpacerItem>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

#include "app/MainWindow.h"
#include "base/Version.h"

static void InitShellResources()
{
    // The resources live in a static library; register them explicitly.
    Q_INIT_RESOURCE(resources);
}

LoadingWindow::LoadingWindow(QWidget* parent) : QMainWindow(parent)
{
    InitShellResources();
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowTitle(QStringLiteral("MainWindow"));
    resize(493, 280);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->addItem(new QSpacerItem(20, 105, QSizePolicy::Minimum, QSizePolicy::Expanding));
    auto* row = new QHBoxLayout;
    row->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    logo_img = new QLabel(central);
    logo_img->setObjectName(QStringLiteral("logo_img"));
    row->addWidget(logo_img);
    auto* titles = new QVBoxLayout;
    title_label = new QLabel(QStringLiteral("YUV Lumo 0.0.0"), central);
    title_label->setObjectName(QStringLiteral("title_label"));
    sub_title_label = new QLabel(QStringLiteral("Media Lumo"), central);
    sub_title_label->setObjectName(QStringLiteral("sub_title_label"));
    titles->addWidget(title_label);
    titles->addWidget(sub_title_label);
    row->addLayout(titles);
    row->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    column->addLayout(row);
    column->addItem(new QSpacerItem(20, 105, QSizePolicy::Minimum, QSizePolicy::Expanding));
    setCentralWidget(central);

    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &LoadingWindow::timeoutSig);
    timer_->start(kSplashMs);

    QFont titleFont(QStringLiteral("黑体"), 25, 75);
    title_label->setFont(titleFont);
    char title[100];
    std::snprintf(title, sizeof(title), lumo::kProductTitleFormat, lumo::kAppVersion);
    title_label->setText(QString::fromUtf8(title));

    QFont subFont(QStringLiteral("黑体"), 15);
    sub_title_label->setFont(subFont);

    QPixmap logo(QStringLiteral(":/img/logo/yuv_logo.png"));
    if (!logo.isNull())
        logo_img->setPixmap(logo.scaledToWidth(80, Qt::SmoothTransformation));
}

void LoadingWindow::timeoutSig()
{
    // Top-level and self-deleting on close; it lives until the user closes it.
    auto* window = new MainWindow(nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    mainWindow_ = window;
    close();
    if (startup_.compare || !startup_.files.empty()) {
        // After the hand-over: a dialog for a file of unknown size must not
        // keep the splash up.
        const StartupRequest request = startup_;
        QTimer::singleShot(0, window, [window, request] { window->OpenStartup(request); });
    }
}
