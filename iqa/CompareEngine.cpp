#include "iqa/CompareEngine.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumo {
namespace {

struct Slot {
    bool ready = false;
    bool failed = false;
    FrameMetrics metrics;
    std::string error;
};

std::unique_ptr<uint8_t[]> ReadI420(const LumoYuvReader& reader, int frame, const char* which, std::string& error)
{
    int64_t got = 0;
    const int64_t offset = static_cast<int64_t>(frame) * reader.GetFrameSize();
    std::unique_ptr<uint8_t[]> planes(reader.ReadFrameYUV444(nullptr, &got, offset));
    if (!planes || got <= 0) {
        error = "cannot read frame " + std::to_string(frame) + " of " + which + " (" + reader.Path() + ")";
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> i420(Yuv444ToI420(planes.get(), reader.Width(), reader.Height()));
    if (!i420)
        error = "out of memory converting frame " + std::to_string(frame) + " of " + which;
    return i420;
}

} // namespace

bool MeasureI420Pair(const uint8_t* ref, const uint8_t* cmp, int width, int height, int colorRange, bool withSsim,
                     FrameMetrics& out)
{
    const LumoYuvReader metrics;
    metrics.ComputePsnrMse(out.psnr, ref, cmp, width, height, out.mse);
    out.hasSsim = withSsim;
    out.ssim = withSsim ? metrics.ComputeSsimGray(ref, cmp, width, height, colorRange) : 0.0;
    return !MetricNotComputed(out.ssim);
}

int64_t CompareEngine::WorkerPeakBytes(int width, int height, bool withSsim)
{
    const int64_t n = static_cast<int64_t>(width) * height;
    // Reading: the raw frame, full-size planes and the first I420 frame.
    const int64_t reading = 3 * n + 3 * n + (3 * n) / 2;
    if (!withSsim)
        return reading;
    // SSIM: both I420 frames, two red planes, seven float images.
    const int64_t ssim = 3 * n + 2 * n + 7 * 4 * n;
    return std::max(reading, ssim);
}

int CompareEngine::ChooseWorkers(int requested, int width, int height, bool withSsim, int64_t memoryBudget)
{
    if (requested > 0)
        return requested;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int64_t perWorker = std::max<int64_t>(1, WorkerPeakBytes(width, height, withSsim));
    const int64_t fitting = std::max<int64_t>(1, memoryBudget / perWorker);
    return static_cast<int>(std::min<int64_t>(cores, fitting));
}

CompareEngine::CompareEngine(const Settings& settings) : settings_(settings)
{
    settings_.workers = std::max(1, settings_.workers);
    settings_.maxInFlight = std::max(settings_.workers, settings_.maxInFlight);
}

bool CompareEngine::CompareFrame(const Settings& settings, int frame, FrameMetrics& out, std::string& error)
{
    const int width = settings.a.Width();
    const int height = settings.a.Height();
    std::unique_ptr<uint8_t[]> a = ReadI420(settings.a, frame, "A", error);
    if (!a)
        return false;
    std::unique_ptr<uint8_t[]> b = ReadI420(settings.b, frame, "B", error);
    if (!b)
        return false;
    out = FrameMetrics();
    out.frame = frame;
    MeasureI420Pair(a.get(), b.get(), width, height, settings.colorRangeCode, settings.withSsim, out);
    return true;
}

bool CompareEngine::Run(const std::function<void(const FrameMetrics&)>& onFrame, std::string& error)
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
        // Each worker reads through its own reader copies.
        Settings local = s;
        for (;;) {
            int frame = 0;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || nextToClaim > s.last || static_cast<int64_t>(nextToClaim) < static_cast<int64_t>(nextToHand) + window; });
                if (stop || nextToClaim > s.last)
                    return;
                frame = nextToClaim++;
            }
            Slot result;
            result.failed = !CompareFrame(local, frame, result.metrics, result.error);
            result.ready = true;
            {
                std::lock_guard<std::mutex> lock(mutex);
                slots[static_cast<size_t>((frame - s.first) % window)] = std::move(result);
            }
            changed.notify_all();
        }
    };

    const int workers = static_cast<int>(std::min<int64_t>(s.workers, int64_t{s.last} - s.first + 1));
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
        for (int i = 0; i < workers; ++i)
            threads.emplace_back(worker);
        for (int frame = s.first; frame <= s.last; ++frame) {
            Slot slot;
            {
                std::unique_lock<std::mutex> lock(mutex);
                Slot& waited = slots[static_cast<size_t>((frame - s.first) % window)];
                changed.wait(lock, [&] { return waited.ready; });
                slot = std::move(waited);
                waited = Slot();
            }
            if (slot.failed) {
                error = slot.error;
                ok = false;
                break;
            }
            onFrame(slot.metrics);
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
