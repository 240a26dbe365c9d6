#include "iqa/CompareEngine.h"

#include "yuv/RawFrameSource.h"
#include "yuv/Threads.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace lumo {
namespace {

struct Slot {
    bool ready = false;
    bool failed = false;
    bool outOfMemory = false;
    FrameMetrics metrics;
    std::string error;
};

} // namespace

int64_t CompareEngine::WorkerPeakBytes(int width, int height, bool withSsim, int depth)
{
    const int64_t n = static_cast<int64_t>(width) * height;
    const int64_t bytes = depth > 8 ? 2 : 1;
    // Reading: the pair, that is A's I420 frame kept while B's full-size
    // planes become B's I420 frame, plus a frame's worth of read buffers.
    const int64_t reading = bytes * (3 * n / 2 + 3 * n + 3 * n / 2 + n);
    if (!withSsim)
        return reading;
    // SSIM: both I420 frames, two float images and, for deep samples, two
    // red planes.
    const int64_t ssim = bytes * 3 * n + (depth > 8 ? 4 * n : 0) + 2 * 4 * n;
    return std::max(reading, ssim);
}

int CompareEngine::ChooseWorkers(int requested, int width, int height, bool withSsim, int64_t memoryBudget,
                                 int depth)
{
    const int wanted =
        requested > 0 ? requested : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int64_t perWorker = std::max<int64_t>(1, WorkerPeakBytes(width, height, withSsim, depth));
    const int64_t fitting = std::max<int64_t>(1, memoryBudget / perWorker);
    return static_cast<int>(std::min<int64_t>(wanted, fitting));
}

CompareEngine::CompareEngine(const Settings& settings) : settings_(settings)
{
    settings_.workers = std::max(1, settings_.workers);
    settings_.maxInFlight = std::max(settings_.workers, settings_.maxInFlight);
}

PairOptions CompareEngine::Settings::Options() const
{
    PairOptions o;
    o.range = static_cast<MetricRange>(colorRangeCode);
    o.withSsim = withSsim;
    o.withPsnr = withPsnr;
    o.extra = extra;
    o.region = region;
    return o;
}

namespace {

// Each worker reads through sources of its own.
struct WorkerSources {
    std::unique_ptr<FrameSource> reference;
    std::unique_ptr<FrameSource> compared;

    explicit WorkerSources(const CompareEngine::Settings& s)
        : reference(s.reference ? s.reference->Clone() : OpenFrameSource(s.a)),
          compared(s.compared ? s.compared->Clone() : OpenFrameSource(s.b))
    {
    }
};

bool CompareWith(WorkerSources& sources, const CompareEngine::Settings& s, int frame, FrameMetrics& out,
                 std::string& error)
{
    return CompareFramePair(*sources.reference, frame, *sources.compared, frame, s.Options(), out, error, s.cancel);
}

} // namespace

bool CompareEngine::CompareFrame(const Settings& settings, int frame, FrameMetrics& out, std::string& error)
{
    WorkerSources sources(settings);
    return CompareWith(sources, settings, frame, out, error);
}

bool CompareEngine::Run(const std::function<void(const FrameMetrics&)>& onFrame, std::string& error)
{
    return RunWhile([&onFrame](const FrameMetrics& m) { onFrame(m); return true; }, error);
}

bool CompareEngine::RunWhile(const std::function<bool(const FrameMetrics&)>& onFrame, std::string& error)
{
    const Settings& s = settings_;
    if (s.last < s.first)
        return true;
    const int window = s.maxInFlight;
    std::vector<Slot> slots(static_cast<size_t>(window));
    std::mutex mutex;
    std::condition_variable changed;
    int nextToClaim = s.first;
    int nextToHand = s.first;
    bool stop = false;

    auto worker = [&]() {
        WorkerSources sources(s);
        for (;;) {
            int frame = 0;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] {
                    return stop || nextToClaim > s.last
                        || static_cast<int64_t>(nextToClaim) < static_cast<int64_t>(nextToHand) + window;
                });
                if (stop || nextToClaim > s.last)
                    return;
                frame = nextToClaim++;
            }
            Slot result;
            try {
                result.failed = !CompareWith(sources, s, frame, result.metrics, result.error);
            } catch (const std::bad_alloc&) {
                // No message here: building one needs memory too.
                result.failed = true;
                result.outOfMemory = true;
            }
            result.ready = true;
            {
                std::lock_guard<std::mutex> lock(mutex);
                slots[static_cast<size_t>((frame - s.first) % window)] = std::move(result);
            }
            changed.notify_all();
        }
    };

    // Workers hold slots of the process's budget; one runs whatever is left.
    // A decoded source is read in order by one worker: clones would each
    // decode the frames the others take.
    const auto inOrder = [](const std::shared_ptr<const FrameSource>& source, const LumoYuvReader& reader) {
        return source ? source->DecodesInOrder() : NamesEncodedVideo(reader.Path());
    };
    const bool decoded = inOrder(s.reference, s.a) || inOrder(s.compared, s.b);
    const int wanted =
        decoded ? 1 : static_cast<int>(std::min<int64_t>(s.workers, int64_t{s.last} - s.first + 1));
    const BudgetSlots budget(wanted);
    const int workers = std::max(1, budget.Count());
    std::vector<std::thread> threads;
    bool ok = true;
    auto stopWorkers = [&]() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
            t.join();
    };
    try {
        threads.reserve(static_cast<size_t>(workers));
        for (int i = 0; i < workers; ++i) {
            // Short of memory for another thread, the ones running do the work.
            try {
                threads.emplace_back(worker);
            } catch (const std::system_error&) {
                if (threads.empty()) {
                    error = "cannot start a worker thread: out of memory";
                    return false;
                }
                break;
            }
        }
        for (int frame = s.first; frame <= s.last; ++frame) {
            Slot slot;
            {
                std::unique_lock<std::mutex> lock(mutex);
                Slot& waited = slots[static_cast<size_t>((frame - s.first) % window)];
                changed.wait(lock, [&] { return waited.ready; });
                slot = std::move(waited);
                waited = Slot();
            }
            if (IsCancelled(s.cancel)) {
                error.clear();
                ok = false;
                break;
            }
            if (slot.failed) {
                error = slot.outOfMemory ? "out of memory at frame " + std::to_string(frame) : slot.error;
                ok = false;
                break;
            }
            if (!onFrame(slot.metrics))
                break;
            {
                std::lock_guard<std::mutex> lock(mutex);
                nextToHand = frame + 1;
            }
            changed.notify_all();
        }
    } catch (...) {
        stopWorkers();
        throw;
    }
    stopWorkers();
    return ok;
}

} // namespace lumo
