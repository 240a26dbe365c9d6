#pragma once

#include <cstdint>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

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

    // Copies frame `index` to `dst` when it is held.
    bool Get(int index, uint8_t* dst)
    {
        std::shared_ptr<const std::vector<uint8_t>> frame;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = frames_.find(index);
            if (it == frames_.end())
                return false;
            order_.splice(order_.begin(), order_, it->second.second);
            frame = it->second.first;
        }
        std::memcpy(dst, frame->data(), frame->size());
        return true;
    }

    void Put(int index, std::shared_ptr<const std::vector<uint8_t>> frame)
    {
        const int64_t size = static_cast<int64_t>(frame->size());
        if (size > bound_)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = frames_.find(index);
        if (it != frames_.end()) {
            order_.splice(order_.begin(), order_, it->second.second);
            return;
        }
        while (used_ + size > bound_ && !order_.empty()) {
            const auto last = frames_.find(order_.back());
            used_ -= static_cast<int64_t>(last->second.first->size());
            frames_.erase(last);
            order_.pop_back();
        }
        order_.push_front(index);
        frames_.emplace(index, std::make_pair(std::move(frame), order_.begin()));
        used_ += size;
    }

    int64_t UsedBytes() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return used_;
    }

private:
    const int64_t bound_;
    mutable std::mutex mutex_;
    int64_t used_ = 0;
    std::list<int> order_; // most recent first
    std::unordered_map<int, std::pair<std::shared_ptr<const std::vector<uint8_t>>, std::list<int>::iterator>> frames_;
};

} // namespace lumo
