#include "analysis/VideoTimeLine.h"

#include "base/DebugLog.h"

#include "analysis/SnapshotThread.h"

#include <QDebug>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Positions are rounded half away from zero.
int RoundPosition(double v)
{
    const double r = std::round(v);
    if (r >= std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (r <= std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

int ClampToInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

VideoTimeLine::VideoTimeLine(const lumo::LumoYuvReader& reader, QWidget* parent)
    : QWidget(parent), reader_(reader)
{
    setMinimumHeight(kHeight);
    setMaximumHeight(kHeight);
    worker_ = new SnapshotThread(&cache_, reader_, cellWidth_, this);
    connect(worker_, &SnapshotThread::GetImageSuccess, this, &VideoTimeLine::GetImageSuccess);
}

VideoTimeLine::~VideoTimeLine()
{
    // The worker uses the cache: stop it and free it before the cache goes.
    worker_->stopWork();
    delete worker_;
    worker_ = nullptr;
}

VideoTimeLine::CellRange VideoTimeLine::VisibleCells(int scrollOffset, int widgetWidth, int frameCount)
{
    int first = scrollOffset / kCellWidth;
    if (first < 0)
        first = 0;
    int64_t end = static_cast<int64_t>(first) + widgetWidth / kCellWidth + 3;
    if (end >= frameCount)
        end = frameCount;
    return CellRange{first, static_cast<int>(end)};
}

bool VideoTimeLine::WantsThumbnail(int frameWidth, int frameHeight, int index, int x, int widgetWidth)
{
    const bool small = frameWidth <= kFullThumbnailLimit && frameHeight <= kFullThumbnailLimit;
    if (!small && index % 5 != 0)
        return false;
    return x >= -kCellWidth - 5 && x <= widgetWidth;
}

int VideoTimeLine::ThumbnailHeight(int frameWidth, int frameHeight)
{
    if (frameWidth <= 0 || frameHeight <= 0)
        return 0;
    // A 1 x 2147483647 frame would give a height beyond int; the strip shows
    // only its bottom 80 rows anyway.
    constexpr double kLimit = 1 << 30;
    return static_cast<int>(std::min(kLimit, static_cast<double>(frameHeight) / frameWidth * kCellWidth));
}

int VideoTimeLine::CellAt(double x, int scrollOffset)
{
    return ClampToInt((static_cast<int64_t>(RoundPosition(x)) + scrollOffset) / kCellWidth);
}

void VideoTimeLine::setCurrentFrame(int frameIndex, int follow)
{
    if (follow != 0)
        scrollOffset_ = ClampToInt((static_cast<int64_t>(frameIndex) - 1) * cellWidth_);
    currentFrame_ = frameIndex;
    update();
}

void VideoTimeLine::RevealFrame(int frameIndex)
{
    const int64_t x = static_cast<int64_t>(frameIndex) * cellWidth_ - scrollOffset_;
    setCurrentFrame(frameIndex, x < 0 || x + cellWidth_ > width() ? 1 : 0);
}

void VideoTimeLine::ClearCache()
{
    qCDebug(lumoDebug) << "ClearCache";
    worker_->stopWork();
}

void VideoTimeLine::GetImageSuccess()
{
    update();
}

void VideoTimeLine::paintEvent(QPaintEvent*)
{
    if (!worker_->isRunning()) {
        qCDebug(lumoDebug) << "Snapshot Thread Start";
        worker_->start(QThread::InheritPriority);
    }

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(rect(), QColor(255, 255, 255));
    painter.setFont(QFont(QStringLiteral("宋体"), 12, 0, false));

    const int frameWidth = reader_.Width();
    const int frameHeight = reader_.Height();
    const int thumbHeight = ThumbnailHeight(frameWidth, frameHeight);
    const CellRange cells = VisibleCells(scrollOffset_, width(), reader_.GetFrameCount());

    for (int i = cells.first; i < cells.end; ++i) {
        const int x = ClampToInt(static_cast<int64_t>(i) * cellWidth_ - scrollOffset_);

        if (WantsThumbnail(frameWidth, frameHeight, i, x, width())) {
            QImage thumbnail;
            if (cache_.Touch(i, &thumbnail)) {
                if (thumbHeight > 0)
                    painter.drawImage(QRect(x, kHeight - thumbHeight, cellWidth_, thumbHeight), thumbnail);
            } else {
                worker_->addRequest(i); // a refused request is made again at a later paint
            }
        }

        painter.drawLine(x, 0, x, kHeight);

        if (i == currentFrame_) {
            // Pen and brush stay set for the cells after the current one.
            painter.setPen(QPen(QBrush(Qt::black), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            painter.setBrush(QBrush(QColor(255, 160, 90, 127), Qt::SolidPattern));
            painter.drawRect(x, 0, cellWidth_, kHeight);
        }

        painter.drawText(x + 3, 15, QString::number(i));
    }
}

void VideoTimeLine::mousePressEvent(QMouseEvent*)
{
    pressed_ = 1;
}

void VideoTimeLine::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_)
        return;
    const int x = RoundPosition(event->localPos().x());
    const int y = RoundPosition(event->localPos().y());
    if (lastMouseX_ < 0) {
        lastMouseX_ = x;
        lastMouseY_ = y;
        return;
    }
    scrollOffset_ = ClampToInt(static_cast<int64_t>(scrollOffset_) + lastMouseX_ - x);
    lastMouseX_ = x;
    lastMouseY_ = y;
    update();
}

void VideoTimeLine::mouseReleaseEvent(QMouseEvent*)
{
    pressed_ = 0;
    lastMouseX_ = -1;
    lastMouseY_ = -1;
}

void VideoTimeLine::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int index = CellAt(event->localPos().x(), scrollOffset_);
    update();
    // Far left of frame 0 (after dragging past the start) there is no frame.
    if (index < 0)
        return;
    emit onSelectFrame(index, 1);
}
