#pragma once

#include <QImage>
#include <QMutex>

#include <cstdint>
#include <functional>
#include <map>

// Bounded store of frame thumbnails, shared by a time line (GUI thread) and
// its thumbnail worker. Every operation takes the cache's own mutex.
//
// When full, inserting evicts the least recently used entry; among entries
// with the same last-use time the one with the lowest frame index goes.
class ThumbnailCache {
public:
    static constexpr int kDefaultCapacity = 100;

    struct Entry {
        int useCount = 0;
        int64_t lastUse = 0; // milliseconds since the epoch
        QImage thumbnail;    // null when the entry has no thumbnail
    };

    // The clock returns milliseconds since the epoch; the default is the
    // system clock. Tests pass their own for a deterministic order.
    explicit ThumbnailCache(int capacity = kDefaultCapacity, std::function<int64_t()> clock = {});

    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    // Adds a fresh entry (use count 0, last use now), evicting first while
    // the cache is full. An existing entry for the index is replaced in
    // place without eviction.
    void Insert(int frameIndex, const QImage& thumbnail);

    // Looks the index up; an existing entry is touched (use count + 1, last
    // use now). Returns true when the entry exists and has a thumbnail, which
    // is then copied to `thumbnail` if given (the copy shares the pixels).
    bool Touch(int frameIndex, QImage* thumbnail = nullptr);

    // Reads an entry without touching it.
    bool Peek(int frameIndex, Entry* entry) const;

    int Size() const;
    int Capacity() const { return capacity_; }

private:
    int64_t Now() const;

    mutable QMutex mutex_;
    std::map<int, Entry> entries_;
    const int capacity_;
    std::function<int64_t()> clock_;
};
