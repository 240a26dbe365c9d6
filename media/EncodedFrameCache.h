#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace lumo {

// Decoded frames of one file in their layout, by frame number, least
// recently used dropped first once the bytes held pass the bound.
// Thread-safe.
class EncodedFrameCache {
public:
    explicit EncodedFrameCache(int64_t boundBytes) : bound_(boundBytes) {}

    int64_t Bound() const { return bound_; }
    // How many frames of `frameBytes` fit.
    int Frames(int64_t frameBytes) const
    {
        return frameBytes > 0 ? static_cast<int>(std::min<int64_t>(bound_ / frameBytes, INT32_MAX)) : 0;
    }

    // Whether a frame of `bytes` can be held at all.
    bool Holds(size_t bytes) const { return static_cast<int64_t>(bytes) <= bound_; }

    // Copies frame `index` to `dst` when it is held.
    bool Get(int index, uint8_t* dst)
    {
        Frame frame;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = frames_.find(index);
            if (it == frames_.end())
                return false;
            order_.splice(order_.begin(), order_, it->second.second);
            frame = it->second.first;
        }
        std::memcpy(dst, frame.bytes.get(), frame.size);
        return true;
    }

    void Put(int index, std::shared_ptr<uint8_t[]> bytes, size_t size)
    {
        if (!Holds(size))
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = frames_.find(index);
        if (it != frames_.end()) {
            order_.splice(order_.begin(), order_, it->second.second);
            return;
        }
        while (used_ + static_cast<int64_t>(size) > bound_ && !order_.empty()) {
            const auto last = frames_.find(order_.back());
            used_ -= static_cast<int64_t>(last->second.first.size);
            frames_.erase(last);
            order_.pop_back();
        }
        order_.push_front(index);
        frames_.emplace(index, std::make_pair(Frame{std::move(bytes), size}, order_.begin()));
        used_ += static_cast<int64_t>(size);
    }

    int64_t UsedBytes() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return used_;
    }

private:
    struct Frame {
        std::shared_ptr<uint8_t[]> bytes;
        size_t size = 0;
    };

    const int64_t bound_;
    mutable std::mutex mutex_;
    int64_t used_ = 0;
    std::list<int> order_; // most recent first
    std::unordered_map<int, std::pair<Frame, std::list<int>::iterator>> frames_;
};

} // namespace lumo
