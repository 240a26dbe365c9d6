#include "app/YUVListItem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSpacerItem>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include "analysis/FrameThumbnail.h"
#include "analysis/LumoImageView.h"
#include "app/RowThumbnailer.h"
#include "yuv/RawFrameSource.h"
#include "yuv/Y4mIndex.h"
#include "yuv/YuvFrameFile.h"
#include "yuv/YuvTypeTable.h"

namespace {

QString ErrnoText(int error)
{
    if (error == ENOENT || error == ENOTDIR)
        return YUVListItem::tr("文件不存在");
    if (error == EACCES || error == EPERM)
        return YUVListItem::tr("没有读取权限");
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why a reader that counts -1 frames cannot read its file, checked in the
// order the reader fails.
QString UnreadableReason(const lumo::LumoYuvReader& reader)
{
    const std::string& path = reader.Path();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return ErrnoText(errno);
    if (S_ISDIR(st.st_mode))
        return YUVListItem::tr("是文件夹");
    if (S_ISFIFO(st.st_mode))
        return YUVListItem::tr("是命名管道（FIFO）");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return YUVListItem::tr("是设备文件");
    if (S_ISSOCK(st.st_mode))
        return YUVListItem::tr("是套接字");
    if (!S_ISREG(st.st_mode))
        return YUVListItem::tr("不是普通文件");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return ErrnoText(errno);
    ::close(fd);
    lumo::Y4mInfo y4m;
    if (lumo::YuvFrameFile::ProbeY4m(path, &y4m)) {
        if (y4m.status != lumo::Y4mStatus::Ok)
            return YUVListItem::tr("Y4M 文件已损坏");
        if (y4m.width != reader.Width() || y4m.height != reader.Height() || y4m.type != reader.Type())
            return YUVListItem::tr("Y4M 文件头与记录的尺寸或格式不符");
    }
    if (reader.GetFrameSize() <= 0)
        return YUVListItem::tr("尺寸 %1×%2 无效").arg(reader.Width()).arg(reader.Height());
    return YUVListItem::tr("原因不明");
}

} // namespace

YUVListItem::YUVListItem(int readerIndex, QWidget* parent) : QWidget(parent)
{
    qRegisterMetaType<lumo::LumoYuvReader>();
    setObjectName(QStringLiteral("YUVListItem"));
    resize(1032, 301);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

    auto* column = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    image_path_label_ = new QLabel(QStringLiteral("TextLabel"), this);
    image_path_label_->setObjectName(QStringLiteral("image_path_label"));
    header->addWidget(image_path_label_);
    header->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    show_detail_btn_ = new QPushButton(tr("播放分析"), this);
    show_detail_btn_->setObjectName(QStringLiteral("show_detail_btn"));
    header->addWidget(show_detail_btn_);
    close_yuv_btn_ = new QPushButton(tr("关闭"), this);
    close_yuv_btn_->setObjectName(QStringLiteral("close_yuv_btn"));
    header->addWidget(close_yuv_btn_);
    column->addLayout(header);

    scrollArea_ = new QScrollArea(this);
    scrollArea_->setObjectName(QStringLiteral("scrollArea"));
    scrollArea_->setWidgetResizable(true);
    auto* contents = new QWidget;
    contents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    auto* contentsColumn = new QVBoxLayout(contents);
    contentsColumn->setObjectName(QStringLiteral("verticalLayout_3"));
    small_image_layout_ = new QHBoxLayout;
    small_image_layout_->setObjectName(QStringLiteral("small_image_layout"));
    contentsColumn->addLayout(small_image_layout_);
    contentsColumn->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    scrollArea_->setWidget(contents);
    column->addWidget(scrollArea_);

    scrollArea_->setFixedHeight(150);
    readerIndex_ = readerIndex;
    connect(show_detail_btn_, &QPushButton::clicked, this, &YUVListItem::onDetailClick);
    connect(close_yuv_btn_, &QPushButton::clicked, this, &YUVListItem::onCloseClick);
}

YUVListItem::~YUVListItem()
{
    CancelThumbnails();
}

int YUVListItem::SetReader(const lumo::LumoYuvReader& reader)
{
    CancelThumbnails();
    reader_ = std::make_unique<lumo::LumoYuvReader>(reader);
    lumo::YuvTypeInfo info;
    if (lumo::YuvTypeTable::Instance().FindByName(reader_->Type(), info) != 0)
        return -1;
    description_ = QString::fromStdString(info.description);
    ShowFrameCount();
    small_image_layout_->addStretch();
    RequestThumbnails();
    if (!lumo::EncodedCountIsExact(reader_->Path()))
        FollowCount();
    return 0;
}

void YUVListItem::ShowFrameCount()
{
    const QString blanks(8, QLatin1Char(' '));
    // A file that cannot be read counts -1 frames; its row says why instead.
    const int count = reader_->GetFrameCount();
    const QString frames =
        count >= 0 ? tr("%n帧", nullptr, count) : tr("无法读取：%1").arg(UnreadableReason(*reader_));
    SetText(description_ + blanks + frames + blanks + QString::fromUtf8(reader_->Path().c_str()));
}

void YUVListItem::FollowCount()
{
    if (!countTimer_) {
        countTimer_ = new QTimer(this);
        countTimer_->setInterval(500);
        connect(countTimer_, &QTimer::timeout, this, [this] {
            const bool exact = lumo::EncodedCountIsExact(reader_->Path());
            ShowFrameCount();
            if (!exact)
                return;
            countTimer_->stop();
            // Counted from nothing: the thumbnails could not be asked for yet.
            if (thumbnailTicket_ == 0 && thumbnailCount() == 0)
                RequestThumbnails();
        });
    }
    countTimer_->start();
}

void YUVListItem::RequestThumbnails()
{
    const int frames = std::min(reader_->GetFrameCount(), kMaxThumbnails);
    const QSize size =
        ThumbnailSizeForHeight(reader_->Width(), reader_->Height(), kThumbnailHeight, kMaxThumbnailWidth);
    RowThumbnailer* thumbnailer = RowThumbnailer::Instance();
    if (frames <= 0 || size.isEmpty() || !thumbnailer)
        return;
    // Made in the background, so that a long list or a huge frame never
    // holds up the window; they arrive in frame order.
    thumbnailTicket_ = thumbnailer->Request(
        this, *reader_, frames, size, [this](const QImage& thumbnail) { AddThumbnail(thumbnail); },
        [this] {
            thumbnailTicket_ = 0;
            NoteUndecodedFrames();
        });
}

void YUVListItem::CancelThumbnails()
{
    if (thumbnailTicket_ == 0)
        return;
    if (RowThumbnailer* thumbnailer = RowThumbnailer::Existing())
        thumbnailer->Cancel(thumbnailTicket_);
    thumbnailTicket_ = 0;
}

void YUVListItem::AddThumbnail(const QImage& thumbnail)
{
    auto* label = new QLabel;
    label->setFixedHeight(kThumbnailHeight);
    label->setPixmap(QPixmap::fromImage(thumbnail));
    // Before the stretch that keeps the thumbnails at the left.
    small_image_layout_->insertWidget(small_image_layout_->count() - 1, label);
}

void YUVListItem::SetSelected(bool selected)
{
    selected_ = selected;
    setAutoFillBackground(selected);
    if (!selected) {
        // Back to the window's own colours.
        setPalette(QPalette());
        return;
    }
    QPalette tinted = palette();
    tinted.setColor(QPalette::Window, tinted.color(QPalette::Highlight).lighter(180));
    setPalette(tinted);
    show_detail_btn_->setFocus();
}

void YUVListItem::NoteUndecodedFrames()
{
    // A damaged stream: its row says which frames read so far do not decode.
    const std::vector<int> failed = lumo::UnreadableEncodedFrames(reader_->Path());
    if (failed.empty())
        return;
    QStringList numbers;
    for (size_t i = 0; i < failed.size() && i < 8; ++i)
        numbers.append(QString::number(failed[i]));
    if (failed.size() > 8)
        numbers.append(QStringLiteral("…"));
    SetText(text_ + QStringLiteral("        ") +
            tr("%n帧无法解码：%1", nullptr, static_cast<int>(failed.size())).arg(numbers.join(QStringLiteral(", "))));
}

void YUVListItem::SetText(const QString& text)
{
    text_ = text;
    image_path_label_->setText(text);
}

int YUVListItem::thumbnailCount() const
{
    int count = 0;
    for (int i = 0; i < small_image_layout_->count(); ++i) {
        if (qobject_cast<QLabel*>(small_image_layout_->itemAt(i)->widget()))
            ++count;
    }
    return count;
}

void YUVListItem::onDetailClick()
{
    if (!reader_)
        return;
    // Top-level and independent of the row: it keeps its own reader copy
    // and deletes itself when closed.
    auto* view = new LumoImageView(*reader_, nullptr);
    view->show();
    emit OnItemDetailClick(*reader_);
}

void YUVListItem::onCloseClick()
{
    emit OnItemCloseClick(readerIndex_, this);
}
