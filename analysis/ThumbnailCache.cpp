#include "analysis/ThumbnailCache.h"

#include <QDateTime>
#include <QMutexLocker>

ThumbnailCache::ThumbnailCache(int capacity, std::function<int64_t()> clock)
    : capacity_(capacity > 0 ? capacity : 1), clock_(std::move(clock))
{
}

int64_t ThumbnailCache::Now() const
{
    return clock_ ? clock_() : QDateTime::currentMSecsSinceEpoch();
}

void ThumbnailCache::Insert(int frameIndex, const QImage& thumbnail)
{
    QMutexLocker lock(&mutex_);
    const int64_t now = Now();
    auto existing = entries_.find(frameIndex);
    if (existing != entries_.end()) {
        existing->second = Entry{0, now, thumbnail};
        return;
    }
    while (static_cast<int>(entries_.size()) >= capacity_) {
        // Ascending index order: a strict comparison keeps the lowest index
        // among equal last-use times.
        auto oldest = entries_.begin();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        entries_.erase(oldest);
    }
    entries_.emplace(frameIndex, Entry{0, now, thumbnail});
}

bool ThumbnailCache::Touch(int frameIndex, QImage* thumbnail)
{
    QMutexLocker lock(&mutex_);
    auto it = entries_.find(frameIndex);
    if (it == entries_.end())
        return false;
    it->second.useCount += 1;
    it->second.lastUse = Now();
    if (it->second.thumbnail.isNull())
        return false;
    if (thumbnail)
        *thumbnail = it->second.thumbnail;
    return true;
}

bool ThumbnailCache::Peek(int frameIndex, Entry* entry) const
{
    QMutexLocker lock(&mutex_);
    auto it = entries_.find(frameIndex);
    if (it == entries_.end())
        return false;
    if (entry)
        *entry = it->second;
    return true;
}

int ThumbnailCache::Size() const
{
    QMutexLocker lock(&mutex_);
    return static_cast<int>(entries_.size());
}
