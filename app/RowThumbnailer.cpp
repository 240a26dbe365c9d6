#include "app/RowThumbnailer.h"

#include "yuv/RawFrameSource.h"

#include <QCoreApplication>
#include <QMutexLocker>

#include <algorithm>

#include "analysis/FrameThumbnail.h"

namespace {

QPointer<RowThumbnailer>& InstanceSlot()
{
    static QPointer<RowThumbnailer> instance;
    return instance;
}

} // namespace

RowThumbnailer* RowThumbnailer::Instance()
{
    QPointer<RowThumbnailer>& instance = InstanceSlot();
    if (!instance && QCoreApplication::instance())
        instance = new RowThumbnailer(QCoreApplication::instance());
    return instance.data();
}

RowThumbnailer* RowThumbnailer::Existing()
{
    return InstanceSlot().data();
}

RowThumbnailer::RowThumbnailer(QObject* parent) : QThread(parent)
{
    qRegisterMetaType<quint64>("quint64");
    connect(this, &RowThumbnailer::thumbnailMade, this, &RowThumbnailer::Deliver, Qt::QueuedConnection);
}

RowThumbnailer::~RowThumbnailer()
{
    {
        QMutexLocker lock(&queueLock_);
        stop_ = true;
        queue_.clear();
        queueChanged_.wakeAll();
    }
    // At most the thumbnail being made is finished, a matter of
    // milliseconds whatever the frame's size.
    wait();
}

quint64 RowThumbnailer::Request(QObject* context, const lumo::LumoYuvReader& reader, int frames, QSize size,
                                Receiver receive, std::function<void()> finished)
{
    const quint64 ticket = ++lastTicket_;
    receivers_.insert(ticket, Receivers{context, std::move(receive), std::move(finished)});
    {
        QMutexLocker lock(&queueLock_);
        queue_.push_back(Job{ticket, reader, size, std::max(frames, 0), 0});
        queueChanged_.wakeOne();
    }
    if (!isRunning())
        start(QThread::LowPriority);
    return ticket;
}

void RowThumbnailer::Cancel(quint64 ticket)
{
    receivers_.remove(ticket);
    QMutexLocker lock(&queueLock_);
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [ticket](const Job& job) { return job.ticket == ticket; }),
                 queue_.end());
}

void RowThumbnailer::Prioritise(const QList<quint64>& tickets)
{
    QHash<quint64, int> rank;
    for (int i = 0; i < tickets.size(); ++i)
        rank.insert(tickets[i], i);
    QMutexLocker lock(&queueLock_);
    const auto named = std::stable_partition(queue_.begin(), queue_.end(),
                                             [&rank](const Job& job) { return rank.contains(job.ticket); });
    std::sort(queue_.begin(), named,
              [&rank](const Job& a, const Job& b) { return rank.value(a.ticket) < rank.value(b.ticket); });
}

void RowThumbnailer::run()
{
    for (;;) {
        quint64 ticket = 0;
        lumo::LumoYuvReader reader;
        QSize size;
        int frame = -1;
        bool last = true;
        {
            QMutexLocker lock(&queueLock_);
            while (queue_.empty() && !stop_)
                queueChanged_.wait(&queueLock_);
            if (stop_)
                return;
            Job& job = queue_.front();
            ticket = job.ticket;
            reader = job.reader;
            size = job.size;
            if (job.next < job.frames)
                frame = job.next++;
            last = job.next >= job.frames;
            if (last)
                queue_.pop_front();
        }
        if (frame >= 0) {
            lumo::RawFrameSource source(reader);
            const QImage thumbnail = MakeFrameThumbnail(source, frame, size, ThumbnailFilter::Smooth);
            if (!thumbnail.isNull())
                emit thumbnailMade(ticket, frame, thumbnail);
        }
        if (last)
            emit thumbnailMade(ticket, -1, QImage());
    }
}

void RowThumbnailer::Deliver(quint64 ticket, int frame, const QImage& thumbnail)
{
    const auto found = receivers_.find(ticket);
    if (found == receivers_.end())
        return;
    if (!found->context) {
        receivers_.erase(found);
        return;
    }
    if (frame >= 0) {
        found->receive(thumbnail);
        return;
    }
    const std::function<void()> finished = found->finished;
    receivers_.erase(found);
    if (finished)
        finished();
}
