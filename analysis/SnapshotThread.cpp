#include "analysis/SnapshotThread.h"

#include "yuv/RawFrameSource.h"

#include "base/DebugLog.h"

#include "analysis/FrameThumbnail.h"
#include "analysis/ThumbnailCache.h"

#include <QDebug>
#include <QImage>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>

SnapshotThread::SnapshotThread(ThumbnailCache* cache, const lumo::LumoYuvReader& reader, int thumbnailWidth,
                               QObject* parent)
    : QThread(parent), cache_(cache), reader_(reader), thumbnailWidth_(thumbnailWidth)
{
}

SnapshotThread::~SnapshotThread()
{
    if (isRunning())
        stopWork();
}

int SnapshotThread::addRequest(int frameIndex)
{
    QMutexLocker lock(&queueLock_);
    if (queue_.size() > kMaxPending - 1)
        return -1;
    queue_.enqueue(frameIndex);
    queueChanged_.wakeOne();
    return 0;
}

void SnapshotThread::stopWork()
{
    stop_.exchange(1);
    {
        // Taking the lock orders the wake-up after the worker's flag check.
        QMutexLocker lock(&queueLock_);
        queueChanged_.wakeAll();
    }
    wait();
    stop_.exchange(0);
}

int SnapshotThread::PendingCount() const
{
    QMutexLocker lock(&queueLock_);
    return queue_.size();
}

bool SnapshotThread::TakeRequest(int* frameIndex)
{
    QMutexLocker lock(&queueLock_);
    while (queue_.isEmpty() && stop_.load() == 0)
        queueChanged_.wait(&queueLock_);
    if (stop_.load() != 0)
        return false;
    *frameIndex = queue_.dequeue();
    return true;
}

void SnapshotThread::run()
{
    int frameIndex = 0;
    while (stop_.load() == 0) {
        if (!TakeRequest(&frameIndex))
            break;
        Serve(frameIndex);
    }
}

void SnapshotThread::Serve(int frameIndex)
{
    // Already there: the lookup counts as a use, nothing else to do.
    if (cache_->Touch(frameIndex))
        return;

    const int width = reader_.Width();
    const int height = reader_.Height();
    QImage thumbnail;
    if (width > 0 && height > 0 && thumbnailWidth_ > 0) {
        // Capped: a 1 x 100000 frame would otherwise keep a 50 x 5000000
        // thumbnail (750 MB) per cache entry. The time line scales the image
        // into its cell anyway.
        constexpr double kMaxThumbHeight = 4096.0;
        const int thumbHeight = std::max(1, static_cast<int>(std::lround(std::min(
                                                kMaxThumbHeight, static_cast<double>(height) * thumbnailWidth_ / width))));
        // Only the thumbnail's pixels are read, so no stated size costs more
        // than a small frame.
        lumo::RawFrameSource source(reader_);
        thumbnail = MakeFrameThumbnail(source, frameIndex, QSize(thumbnailWidth_, thumbHeight),
                                       ThumbnailFilter::Nearest);
    }
    if (!thumbnail.isNull())
        cache_->Insert(frameIndex, thumbnail);
    else
        qCDebug(lumoDebug) << "ReadFrameRGB24 Fail";

    qCDebug(lumoDebug) << "Send";
    emit GetImageSuccess();
    qCDebug(lumoDebug) << "End Send";
}
