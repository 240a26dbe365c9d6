#include "app/YUVListItem.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <future>
#include <system_error>
#include <vector>

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QThread>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "analysis/LumoImageView.h"
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
    if (frames <= 0)
        return;
    const int64_t pixels = static_cast<int64_t>(reader_->Width()) * reader_->Height();
    // QImage holds at most 2^31 bytes, and smooth scaling works on a 32-bit
    // copy: a larger frame could never become a thumbnail, so it is not read.
    if (pixels <= 0 || pixels * 4 > INT_MAX)
        return;

    std::vector<QImage> thumbnails(static_cast<size_t>(frames));
    const lumo::LumoYuvReader& reader = *reader_;
    // Frames are read and scaled on up to `workers` threads, each with its
    // own reader copy; the row still waits for all of them.
    auto work = [&thumbnails, &reader, frames](int first, int step) {
        const lumo::LumoYuvReader copy(reader);
        std::unique_ptr<uint8_t[]> rgb;
        for (int i = first; i < frames; i += step)
            thumbnails[static_cast<size_t>(i)] = MakeThumbnail(copy, i, rgb);
    };
    int workers = std::min(frames, std::max(1, QThread::idealThreadCount()));
    // Big frames need several buffers of their size each: one at a time.
    if (pixels > kParallelPixelLimit)
        workers = 1;
    std::vector<std::future<void>> helpers;
    int launched = 1;
    for (int k = 1; k < workers; ++k) {
        try {
            helpers.push_back(std::async(std::launch::async, work, k, workers));
        } catch (const std::system_error&) {
            break; // no more threads: this thread takes the remaining shares
        }
        launched = k + 1;
    }
    work(0, workers);
    for (int k = launched; k < workers; ++k)
        work(k, workers);
    for (auto& helper : helpers)
        helper.get();

    for (const QImage& thumbnail : thumbnails) {
        if (thumbnail.isNull())
            continue;
        auto* label = new QLabel;
        label->setFixedHeight(kThumbnailHeight);
        label->setPixmap(QPixmap::fromImage(thumbnail));
        small_image_layout_->addWidget(label);
    }
}

QImage YUVListItem::MakeThumbnail(const lumo::LumoYuvReader& reader, int frame, std::unique_ptr<uint8_t[]>& rgb)
{
    const int width = reader.Width();
    const int height = reader.Height();
    int64_t bytes = 0;
    // Every frame has the same RGB size: the buffer the reader allocates for
    // the first one is reused for the rest. It outlives the QImage viewing it.
    uint8_t* got = reader.ReadFrameRGB24(rgb.get(), &bytes, static_cast<int64_t>(frame) * reader.GetFrameSize());
    if (got && !rgb)
        rgb.reset(got);
    if (!got || bytes <= 0)
        return {};
    // Rows are tightly packed: the stride must be given, or Qt assumes 32-bit
    // aligned rows and shears widths that are not a multiple of 4.
    const QImage image(rgb.get(), width, height, width * 3, QImage::Format_RGB888);
    if (image.isNull())
        return {};
    return image.scaledToHeight(kThumbnailHeight, Qt::SmoothTransformation);
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
