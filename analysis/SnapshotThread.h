#pragma once

#include "yuv/LumoYuvReader.h"

#include <QMutex>
#include <QQueue>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class ThumbnailCache;

// Makes the thumbnails of a time line on a thread of its own: reads the
// pixels of each requested frame that a thumbnail of the cell width needs
// (nearest pixel) and puts the thumbnail into the time line's cache. At most five requests wait; further ones are refused
// and the time line asks again at a later paint. The thread sleeps while
// nothing is queued.
class SnapshotThread : public QThread {
    Q_OBJECT
public:
    static constexpr int kMaxPending = 5;

    // `cache` is not owned and must outlive the worker.
    SnapshotThread(ThumbnailCache* cache, const lumo::LumoYuvReader& reader, int thumbnailWidth,
                   QObject* parent = nullptr);
    // Stops the thread first if it still runs.
    ~SnapshotThread() override;

    // Queues a frame index; 0 when accepted, -1 when the queue is full.
    int addRequest(int frameIndex);
    // Asks the thread to end, waits for it and clears the request again.
    // Queued indices and cached thumbnails stay.
    void stopWork();

    int PendingCount() const;

signals:
    // A request was served (whether or not the frame could be read).
    void GetImageSuccess();

protected:
    void run() override;

private:
    // Takes the next index; false when a stop was requested first.
    bool TakeRequest(int* frameIndex);
    void Serve(int frameIndex);

    ThumbnailCache* cache_;
    lumo::LumoYuvReader reader_;
    int thumbnailWidth_;
    mutable QMutex queueLock_;
    QWaitCondition queueChanged_;
    QQueue<int> queue_;
    std::atomic<int> stop_{0};
};
