#include "app/MainWindow.h"

#include "base/DebugLog.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpacerItem>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "analysis/LumoImageView.h"
#include "app/AboutWindow.h"
#include "online/FeedbackWindow.h"
#include "online/InfoBox.h"
#include "online/NewVersionDiglog.h"
#include "open/ChosenFile.h"
#include "open/OpenFileDialog.h"
#include "online/RecordLog.h"
#include "online/WebRequest.h"
#include "app/RowThumbnailer.h"
#include "app/YUVListItem.h"
#include "base/Version.h"
#include "yuv/RawFrameSource.h"
#include "yuv/YuvTypeTable.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    BuildForm();
    setAcceptDrops(true);

    cache_.Load();
    const auto& readers = cache_.Readers();
    for (size_t i = 0; i < readers.size(); ++i) {
        AddRow(*readers[i], static_cast<int>(i));
        // Every new widget posts a few events, and Qt compares each posted
        // layout or update request with every event already queued: without
        // handing them out now and then, thousands of rows take quadratic
        // time to build.
        if (i % 64 == 63)
            QCoreApplication::sendPostedEvents();
    }

    record_log_ = new RecordLog(this);
    record_log_->recordMainWindow();

    network_ = new QNetworkAccessManager(this);
    connect(network_, &QNetworkAccessManager::finished, this, &MainWindow::OnNetworkProcessFinished);
    NewVersionDiglog::RequestLatestVersion(network_);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildForm()
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1194, 650);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto* outer = new QVBoxLayout(central);
    outer->setObjectName(QStringLiteral("verticalLayout_2"));
    outer->setSpacing(6);
    outer->setContentsMargins(11, 11, 11, 11);
    auto* inner = new QVBoxLayout;
    inner->setObjectName(QStringLiteral("verticalLayout"));
    inner->setSpacing(6);
    auto* scroll = new QScrollArea(central);
    scroll_ = scroll;
    scroll->setObjectName(QStringLiteral("scrollArea"));
    scroll->setWidgetResizable(true);
    // Scrolling and resizing change which rows are on screen.
    connect(scroll->verticalScrollBar(), &QScrollBar::valueChanged, this, &MainWindow::PrioritiseVisibleRows);
    connect(scroll->verticalScrollBar(), &QScrollBar::rangeChanged, this, &MainWindow::PrioritiseVisibleRows);
    auto* contents = new QWidget;
    contents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    auto* contentsColumn = new QVBoxLayout(contents);
    contentsColumn->setObjectName(QStringLiteral("verticalLayout_4"));
    contentsColumn->setSpacing(6);
    contentsColumn->setContentsMargins(11, 11, 11, 11);
    content_list_ = new QVBoxLayout;
    content_list_->setObjectName(QStringLiteral("content_list"));
    content_list_->setSpacing(6);
    contentsColumn->addLayout(content_list_);
    contentsColumn->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    scroll->setWidget(contents);
    inner->addWidget(scroll);
    outer->addLayout(inner);
    setCentralWidget(central);

    setWindowTitle(QStringLiteral("YUV Lumo"));

    auto* openAction = new QAction(tr("打开"), this);
    openAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    auto* feedbackAction = new QAction(tr("问题反馈"), this);
    auto* updateAction = new QAction(tr("检查更新"), this);
    auto* aboutAction = new QAction(tr("关于这两个工程师"), this);
    menuBar()->addMenu(tr("打开文件"))->addAction(openAction);
    menuBar()->addMenu(tr("帮助"))->addAction(feedbackAction);
    menuBar()->addMenu(tr("检查更新"))->addAction(updateAction);
    menuBar()->addMenu(tr("关于这两个工程师"))->addAction(aboutAction);

    QToolBar* tools = addToolBar(tr("工具栏"));
    auto* toolOpen = tools->addAction(tr("打开"));

    connect(openAction, &QAction::triggered, this, &MainWindow::OpenFileClickListener);
    connect(toolOpen, &QAction::triggered, this, &MainWindow::OpenFileClickListener);
    connect(feedbackAction, &QAction::triggered, this, &MainWindow::FeedbackClickListener);
    connect(updateAction, &QAction::triggered, this, &MainWindow::CheckVersionClickListener);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::AboutClickListener);
}

void MainWindow::AddRow(const lumo::LumoYuvReader& reader, int index)
{
    auto* row = new YUVListItem(index, nullptr);
    row->SetReader(reader);
    content_list_->addWidget(row);
    rows_.append(row);
    connect(row, &YUVListItem::OnItemCloseClick, this, &MainWindow::OnItemCloseClick);
}

void MainWindow::PrioritiseVisibleRows()
{
    RowThumbnailer* thumbnailer = RowThumbnailer::Existing();
    if (!thumbnailer)
        return;
    // Rows are laid out in the scroll area's contents; the viewport shows the
    // band starting at the scroll bar's value.
    const QRect shown(QPoint(0, scroll_->verticalScrollBar()->value()), scroll_->viewport()->size());
    QList<quint64> visible;
    for (YUVListItem* row : rows_) {
        if (row->thumbnailsPending() && row->geometry().intersects(shown))
            visible.append(row->thumbnailTicket());
    }
    if (!visible.isEmpty())
        thumbnailer->Prioritise(visible);
}

void MainWindow::OpenFileClickListener()
{
    RunOpenDialog({}, 0, 0, -1);
}

void MainWindow::RunOpenDialog(const QStringList& chosen, int width, int height, int yuvIndex)
{
    // A child of this window, destroyed once read.
    OpenFileDialog dialog(this);
    dialog.Prefill(width, height, yuvIndex);
    if (!chosen.isEmpty())
        dialog.AddChosenFiles(chosen);
    if (dialog.exec() != QDialog::Accepted)
        return;
    AddFiles(dialog.selectedFiles(), dialog.width(), dialog.height(), dialog.yuvIndex());
}

void MainWindow::AddFiles(const QStringList& paths, int width, int height, int yuvIndex)
{
    lumo::YuvTypeInfo info;
    lumo::YuvTypeTable::Instance().GetByIndex(yuvIndex, info);
    QStringList problems;
    for (const QString& path : paths) {
        lumo::LumoYuvReader reader;
        QString problem;
        if (ReaderForChosenFile(path, width, height, info.name, &reader, &problem))
            AddReader(reader);
        else
            problems.append(problem);
    }
    if (!problems.isEmpty())
        ShowWarning(problems.join(QLatin1Char('\n')));
}

void MainWindow::AddReader(const lumo::LumoYuvReader& reader)
{
    qCDebug(lumoDebug) << "yuvReader Path:" << QString::fromStdString(reader.Path());
    cache_.AddAndStore(reader);
    AddRow(reader, cache_.Size() - 1);
}

void MainWindow::OpenPaths(const QStringList& paths, int width, int height, const std::string& type)
{
    QStringList problems;
    QStringList unknown;
    QStringList files;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isFile()) {
            problems.append(tr("无法打开 %1：不是普通文件").arg(path));
            continue;
        }
        files.append(path);
        // Encoded video is read in place, its geometry from the stream,
        // found off the GUI thread (the first open reads every packet).
        if (lumo::NamesEncodedVideo(path.toStdString()) && lumo::CanOpenEncoded()) {
            OpenEncodedLater(path, width, height, type);
            continue;
        }
        if (LooksLikeMedia(path)) {
            unknown.append(path); // the dialog converts it
            continue;
        }
        const lumo::YuvGuess guess = GuessChosenFile(path);
        const QString problem = Y4mProblem(path, guess);
        if (!problem.isEmpty()) {
            problems.append(problem);
            continue;
        }
        // A file already listed is not listed twice: its row is selected
        // (unless another size or layout is asked for; a Y4M header has
        // the last word on those).
        if (YUVListItem* row = guess.isY4m ? RowOf(path, 0, 0, {}) : RowOf(path, width, height, type)) {
            SelectRow(row);
            continue;
        }
        const std::string bytes = path.toUtf8().toStdString();
        // The default layout is no answer: the dialog asks for it.
        const lumo::FileGeometry geometry = ChosenGeometry(guess, width, height, type);
        if (geometry.HasSize() && geometry.typeFrom != lumo::GeometryOrigin::Default)
            AddReader(lumo::LumoYuvReader(bytes, geometry.width, geometry.height, geometry.type));
        else
            unknown.append(path);
    }
    // The next file chooser opens where these files are.
    RememberOpenedFolder(files);
    if (!problems.isEmpty())
        ShowWarning(problems.join(QLatin1Char('\n')));
    if (!unknown.isEmpty())
        RunOpenDialog(unknown, width, height, LayoutIndex(type));
}

void MainWindow::OpenEncodedLater(const QString& path, int width, int height, const std::string& type)
{
    QPointer<MainWindow> self(this);
    QThreadPool::globalInstance()->start([self, path, width, height, type] {
        const lumo::YuvGuess guess = GuessChosenFile(path);
        QMetaObject::invokeMethod(
            qApp,
            [self, path, guess, width, height, type] {
                if (self)
                    self->FinishEncodedOpen(path, guess, width, height, type);
            },
            Qt::QueuedConnection);
    });
}

void MainWindow::FinishEncodedOpen(const QString& path, const lumo::YuvGuess& guess, int width, int height,
                                   const std::string& type)
{
    // What does not decode in place goes to the dialog, which converts it.
    if (!guess.isEncoded) {
        RunOpenDialog({path}, width, height, LayoutIndex(type));
        return;
    }
    if (YUVListItem* row = RowOf(path, 0, 0, {})) {
        SelectRow(row);
        return;
    }
    AddReader(lumo::LumoYuvReader(path.toUtf8().toStdString(), guess.width, guess.height, guess.type));
}

YUVListItem* MainWindow::RowOf(const QString& path, int width, int height, const std::string& type) const
{
    const QString file = QFileInfo(path).canonicalFilePath();
    if (file.isEmpty())
        return nullptr;
    for (YUVListItem* row : rows_) {
        const lumo::LumoYuvReader* reader = row->reader();
        if (!reader || (width > 0 && (reader->Width() != width || reader->Height() != height)) ||
            (!type.empty() && reader->Type() != type))
            continue;
        if (QFileInfo(QString::fromStdString(reader->Path())).canonicalFilePath() == file)
            return row;
    }
    return nullptr;
}

YUVListItem* MainWindow::selectedRow() const
{
    return selected_;
}

void MainWindow::SelectRow(YUVListItem* row)
{
    if (selected_)
        selected_->SetSelected(false);
    selected_ = row;
    row->SetSelected(true);
    // Rows just added may not be laid out yet.
    scroll_->widget()->layout()->activate();
    scroll_->ensureWidgetVisible(row);
}

void MainWindow::OpenStartup(const StartupRequest& request)
{
    if (request.compare) {
        auto* view = new LumoImageView(request.compareA, nullptr);
        view->show();
        view->Open2ndFile(request.compareB);
        return;
    }
    QStringList paths;
    for (const std::string& file : request.files)
        paths.append(QString::fromStdString(file));
    if (!paths.isEmpty())
        OpenPaths(paths, request.width, request.height, request.type);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // Messages and the dialog run after the drop has ended, not inside it.
    QTimer::singleShot(0, this, [this, paths] { OpenPaths(paths); });
}

void MainWindow::OnItemCloseClick(int readerIndex, YUVListItem* item)
{
    // Rows are found by identity: earlier closes have moved later rows up,
    // so the index a row was created with may be stale.
    Q_UNUSED(readerIndex);
    const int index = rows_.indexOf(item);
    if (index < 0)
        return;
    cache_.RemoveAndStore(index);
    rows_.removeAt(index);
    for (int i = index; i < rows_.size(); ++i)
        rows_[i]->setReaderIndex(i);
    item->hide();
    content_list_->removeWidget(item);
    item->deleteLater();
}

void MainWindow::AboutClickListener()
{
    auto* about = new AboutWindow(nullptr);
    about->show();
}

void MainWindow::FeedbackClickListener()
{
    auto* feedback = new FeedbackWindow(nullptr);
    feedback->show();
}

void MainWindow::CheckVersionClickListener()
{
    auto* manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &MainWindow::OnNetworkProcessFinished2);
    NewVersionDiglog::RequestLatestVersion(manager);
    record_log_->recordUpdate(false);
}

void MainWindow::OnNetworkProcessFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    QString version;
    if (!NewVersionDiglog::ReadLatestVersion(reply, version))
        return;
    if (version != QLatin1String(lumo::kAppVersion))
        ShowNewVersion(version);
}

void MainWindow::OnNetworkProcessFinished2(QNetworkReply* reply)
{
    reply->deleteLater();
    // Each on-demand request has a manager of its own, done with its reply.
    if (QNetworkAccessManager* manager = reply->manager(); manager != network_)
        manager->deleteLater();
    QString version;
    if (!NewVersionDiglog::ReadLatestVersion(reply, version))
        return;
    if (version != QLatin1String(lumo::kAppVersion))
        ShowNewVersion(version);
    else
        InfoBox::Show(tr("您已经是最新版本了"));
}

void MainWindow::ShowNewVersion(const QString& version)
{
    auto* dialog = new NewVersionDiglog(version, nullptr);
    dialog->show();
}
