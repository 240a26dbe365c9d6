#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QSize>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <deque>
#include <functional>

#include "yuv/LumoYuvReader.h"

// Makes the thumbnails of the main window's rows on one thread for the whole
// program, frame after frame, so that no number of rows holds up a window.
// Requests are served in order; Prioritise moves the rows on screen ahead.
// Each thumbnail reaches its receiver on the GUI thread; a receiver that is
// gone by then gets nothing. Work still queued when the program ends is
// dropped.
class RowThumbnailer : public QThread {
    Q_OBJECT
public:
    using Receiver = std::function<void(const QImage& thumbnail)>;

    // The program's instance, made on first use as a child of the
    // application object (which stops it at exit); null without one.
    static RowThumbnailer* Instance();
    // The instance if it was made and still exists, else null.
    static RowThumbnailer* Existing();

    ~RowThumbnailer() override;

    // Queues thumbnails of `size` for the first `frames` frames of `reader`.
    // `receive` runs for each thumbnail made (frames that cannot be read are
    // skipped), `finished` once after the last frame; both on the GUI
    // thread, and only while `context` exists. Returns the request's ticket.
    quint64 Request(QObject* context, const lumo::LumoYuvReader& reader, int frames, QSize size, Receiver receive,
                    std::function<void()> finished);
    // Drops what is left of a request; nothing more reaches its receiver.
    void Cancel(quint64 ticket);
    // Serves these requests first, in this order, before all others.
    void Prioritise(const QList<quint64>& tickets);

    // Requests not yet finished.
    int PendingRequests() const { return receivers_.size(); }

signals:
    // From the worker thread to the GUI thread; frame -1 ends a request.
    void thumbnailMade(quint64 ticket, int frame, const QImage& thumbnail);

protected:
    void run() override;

private:
    explicit RowThumbnailer(QObject* parent);
    void Deliver(quint64 ticket, int frame, const QImage& thumbnail);

    struct Job {
        quint64 ticket = 0;
        lumo::LumoYuvReader reader;
        QSize size;
        int frames = 0;
        int next = 0;
    };
    struct Receivers {
        QPointer<QObject> context;
        Receiver receive;
        std::function<void()> finished;
    };

    mutable QMutex queueLock_;
    QWaitCondition queueChanged_;
    std::deque<Job> queue_; // guarded by queueLock_
    std::atomic<bool> stop_{false};
    quint64 lastTicket_ = 0;
    QHash<quint64, Receivers> receivers_; // GUI thread only
};
