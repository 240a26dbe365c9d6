#include "analysis/RegionMetrics.h"

#include <QMetaObject>

#include <new>
#include <string>

RegionMetrics::RegionMetrics(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<lumo::FrameMetrics>("lumo::FrameMetrics");
    thread_ = std::thread([this] { Loop(); });
}

RegionMetrics::~RegionMetrics()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopping_.Cancel();
    wake_.notify_all();
    thread_.join();
}

int RegionMetrics::Request(const lumo::CompareEngine::Settings& settings, int frame)
{
    int token = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        settings_ = settings;
        frame_ = frame;
        pending_ = true;
        token = ++token_;
    }
    wake_.notify_all();
    return token;
}

void RegionMetrics::Cancel()
{
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = false;
    ++token_;
}

void RegionMetrics::Loop()
{
    for (;;) {
        lumo::CompareEngine::Settings settings;
        int frame = 0;
        int token = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || pending_; });
            if (stop_)
                return;
            settings = settings_;
            settings.cancel = &stopping_;
            frame = frame_;
            token = token_;
            pending_ = false;
        }
        lumo::FrameMetrics metrics;
        std::string error;
        bool ok = false;
        try {
            ok = lumo::CompareEngine::CompareFrame(settings, frame, metrics, error);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        // Posted to this object: dropped if it is destroyed first.
        QMetaObject::invokeMethod(
            this, [this, token, metrics, ok] { emit measured(token, metrics, ok); }, Qt::QueuedConnection);
    }
}
