#pragma once

#include <atomic>

#include "yuv/Cancel.h"

// The threading contract of the program: who starts each thread, who stops
// it, and how.
//
// Stopping. Every piece of work that may run long takes a CancelToken
// (yuv/Cancel.h). The owner of the work cancels; the work polls the token
// at least once per band of rows (SSIM: every kCancelRows output rows; a
// frame pair: between reading, converting and each metric; the engine:
// between frames) and returns its failure value: false, or +infinity for a
// metric (MetricNotComputed). Nothing is thrown to stop work, and no flag
// besides the token is polled.
//
// Threads and their owners:
// - CompareEngine::Run starts its workers and joins them before it returns;
//   the settings' token, or the frame callback returning false, ends them
//   after the frame pair each holds (which itself stops within a band when
//   the token fires).
// - SSIM (SSIM_GRAY, the per-plane SSIM and MS-SSIM) may start helper
//   threads for bands of rows; the call that starts them joins them before
//   it returns. Helpers see the calling thread's token (CancelScope).
// - Conversion in ConvertPath::Auto may start one second thread, joined
//   before the conversion returns.
// - FrameLoader starts its reading and measuring threads at its first
//   request; its destructor cancels the measurement under way and joins
//   both, so it waits at most one band of SSIM rows.
// - SequenceMetrics starts one thread per run, which runs a CompareEngine;
//   a new start or a cancel fires the run's token and returns at once, the
//   run is joined at the next start or on destruction.
// - SnapshotThread (the time line's thumbnails) and RowThumbnailer (the
//   list's) are started by their owners and stopped by a flag set under
//   their queue's lock plus a wake-up; they look at it between thumbnails,
//   and a thumbnail reads only the pixels it shows.
// - The media decoder (media/LumoReader) keeps its own process-wide stop
//   request for a conversion under way.
// - An encoded file's decoder (media/EncodedSource) uses at most one thread
//   per core. The main window reads a newly opened encoded file's packets on
//   a thread of Qt's global pool, which the application waits for on exit;
//   the result comes back queued to the GUI thread.
//
// Budget. All threads a process starts for workers and helpers draw from
// one ThreadBudget: a worker or helper runs only while it holds a slot,
// except that a piece of work always runs on the thread that asked for it.
// The command line sets the budget to --jobs + 1, so `compare --jobs N`
// runs at most N + 2 threads: the main thread, N workers and one helper.
namespace lumo {

// Output rows of SSIM between two looks at the token.
constexpr int kCancelRows = 32;

class ThreadBudget {
public:
    // The process's budget; unlimited until SetLimit is called.
    static ThreadBudget& Process();

    // Threads, beyond the main thread, that may run at once; 0 or below:
    // no limit.
    void SetLimit(int threads);
    int Limit() const { return limit_.load(std::memory_order_relaxed); }
    // Takes up to `wanted` slots without waiting; returns how many it got.
    int Acquire(int wanted);
    void Release(int slots);
    // Slots taken now.
    int InUse() const { return used_.load(std::memory_order_relaxed); }

private:
    std::atomic<int> limit_{0};
    std::atomic<int> used_{0};
};

// Slots held for the life of the object.
class BudgetSlots {
public:
    explicit BudgetSlots(int wanted, ThreadBudget& budget = ThreadBudget::Process())
        : budget_(budget), count_(budget.Acquire(wanted)) {}
    ~BudgetSlots() { budget_.Release(count_); }
    BudgetSlots(const BudgetSlots&) = delete;
    BudgetSlots& operator=(const BudgetSlots&) = delete;
    int Count() const { return count_; }

private:
    ThreadBudget& budget_;
    int count_;
};

// The token the calling thread's metric work polls: set for the life of a
// CancelScope, null otherwise. Lets SSIM behind the plain ssim_index entry
// points stop without a token in every signature.
const CancelToken* CurrentCancel();

class CancelScope {
public:
    explicit CancelScope(const CancelToken* token);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const CancelToken* previous_;
};

} // namespace lumo
