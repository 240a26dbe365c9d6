#pragma once

#include <atomic>

namespace lumo {

// A request to stop, shared by whoever starts a piece of work and every
// loop that does it. The owner calls Cancel(); workers poll Cancelled() at
// least once per band of rows (or per decoded packet) and return early with
// their failure value. Never thrown, never reset: a new job gets a new token.
class CancelToken {
public:
    void Cancel() { cancelled_.store(true, std::memory_order_release); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> cancelled_{false};
};

// True when `token` is given and has been cancelled.
inline bool IsCancelled(const CancelToken* token) { return token && token->Cancelled(); }

} // namespace lumo
