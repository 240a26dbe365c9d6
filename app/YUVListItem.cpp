#include "YUVListItem.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "YuvTypeTable.h"

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
    show_detail_btn_ = new QPushButton(QStringLiteral("播放分析"), this);
    show_detail_btn_->setObjectName(QStringLiteral("show_detail_btn"));
    header->addWidget(show_detail_btn_);
    close_yuv_btn_ = new QPushButton(QStringLiteral("关闭"), this);
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

YUVListItem::~YUVListItem() = default;

int YUVListItem::SetReader(const lumo::LumoYuvReader& reader)
{
    reader_ = std::make_unique<lumo::LumoYuvReader>(reader);
    lumo::YuvTypeInfo info;
    if (lumo::YuvTypeTable::Instance().FindByName(reader_->Type(), info) != 0)
        return -1;
    const QString blanks(8, QLatin1Char(' '));
    SetText(QString::fromStdString(info.description) + blanks + QString::number(reader_->GetFrameCount()) +
            QStringLiteral("帧") + blanks + QString::fromUtf8(reader_->Path().c_str()));
    AddThumbnails();
    small_image_layout_->addStretch();
    return 0;
}

void YUVListItem::AddThumbnails()
{
    const int frames = std::min(reader_->GetFrameCount(), kMaxThumbnails);
    const int64_t frameSize = reader_->GetFrameSize();
    const int width = reader_->Width();
    const int height = reader_->Height();
    // Every frame has the same RGB size: the buffer the reader allocates for
    // the first one is reused for the rest. It outlives each QImage viewing it.
    std::unique_ptr<uint8_t[]> rgb;
    for (int i = 0; i < frames; ++i) {
        int64_t bytes = 0;
        uint8_t* got = reader_->ReadFrameRGB24(rgb.get(), &bytes, static_cast<int64_t>(i) * frameSize);
        if (got && !rgb)
            rgb.reset(got);
        if (!got || bytes <= 0)
            continue;
        if (static_cast<int64_t>(width) * 3 > INT32_MAX)
            continue;
        // Rows are tightly packed: the stride must be given, or Qt assumes
        // 32-bit aligned rows and shears widths that are not a multiple of 4.
        const QImage frame(rgb.get(), width, height, width * 3, QImage::Format_RGB888);
        if (frame.isNull())
            continue;
        const QImage thumbnail = frame.scaledToHeight(kThumbnailHeight, Qt::SmoothTransformation);
        auto* label = new QLabel;
        label->setFixedHeight(kThumbnailHeight);
        label->setPixmap(QPixmap::fromImage(thumbnail));
        small_image_layout_->addWidget(label);
    }
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
    if (reader_)
        emit OnItemDetailClick(*reader_);
}

void YUVListItem::onCloseClick()
{
    emit OnItemCloseClick(readerIndex_, this);
}
