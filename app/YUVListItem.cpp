#include "app/YUVListItem.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "analysis/FrameThumbnail.h"
#include "analysis/LumoImageView.h"
#include "app/RowThumbnailer.h"
#include "yuv/YuvTypeTable.h"

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
    const QString blanks(8, QLatin1Char(' '));
    // Plural forms are for counts from 0 up; a file that cannot be read
    // counts -1 frames.
    const int count = reader_->GetFrameCount();
    const QString frames = count >= 0 ? tr("%n帧", nullptr, count)
                                      //: The frame count of a file that cannot be read (-1).
                                      : tr("%1帧").arg(count);
    SetText(QString::fromStdString(info.description) + blanks + frames + blanks +
            QString::fromUtf8(reader_->Path().c_str()));
    small_image_layout_->addStretch();
    RequestThumbnails();
    return 0;
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
        [this] { thumbnailTicket_ = 0; });
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
