#include "yuv/Threads.h"

namespace lumo {
namespace {
thread_local const CancelToken* tCancel = nullptr;
}

ThreadBudget& ThreadBudget::Process()
{
    static ThreadBudget budget;
    return budget;
}

void ThreadBudget::SetLimit(int threads)
{
    limit_.store(threads > 0 ? threads : 0, std::memory_order_relaxed);
}

int ThreadBudget::Acquire(int wanted)
{
    if (wanted <= 0)
        return 0;
    int used = used_.load(std::memory_order_relaxed);
    for (;;) {
        const int limit = limit_.load(std::memory_order_relaxed);
        const int got = limit <= 0 ? wanted : (used >= limit ? 0 : (wanted < limit - used ? wanted : limit - used));
        if (got == 0)
            return 0;
        if (used_.compare_exchange_weak(used, used + got, std::memory_order_acq_rel))
            return got;
    }
}

void ThreadBudget::Release(int slots)
{
    if (slots > 0)
        used_.fetch_sub(slots, std::memory_order_acq_rel);
}

const CancelToken* CurrentCancel()
{
    return tCancel;
}

CancelScope::CancelScope(const CancelToken* token) : previous_(tCancel)
{
    tCancel = token;
}

CancelScope::~CancelScope()
{
    tCancel = previous_;
}

} // namespace lumo
