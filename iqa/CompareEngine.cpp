#include "iqa/CompareEngine.h"

#include "iqa/PsnrMse.h"
#include "iqa/RedPlane.h"
#include "iqa/Ssim.h"

#include <algorithm>
#include <cstddef>
#include <limits>
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

// Full-size planes of a frame, 8-bit or at native depth.
uint8_t* ReadPlanes(const LumoYuvReader& reader, uint8_t*, int64_t* got, int64_t offset)
{
    return reader.ReadFrameYUV444(nullptr, got, offset);
}

uint16_t* ReadPlanes(const LumoYuvReader& reader, uint16_t*, int64_t* got, int64_t offset)
{
    return reader.ReadFrameYUV444Native(nullptr, got, offset);
}

template <typename Sample>
std::unique_ptr<Sample[]> ReadI420(const LumoYuvReader& reader, int frame, const char* which, std::string& error)
{
    int64_t got = 0;
    const int64_t offset = static_cast<int64_t>(frame) * reader.GetFrameSize();
    std::unique_ptr<Sample[]> planes(ReadPlanes(reader, static_cast<Sample*>(nullptr), &got, offset));
    if (!planes || got <= 0) {
        error = "cannot read frame " + std::to_string(frame) + " of " + which + " (" + reader.Path() + ")";
        return nullptr;
    }
    std::unique_ptr<Sample[]> i420(Yuv444ToI420(planes.get(), reader.Width(), reader.Height()));
    if (!i420)
        error = "out of memory converting frame " + std::to_string(frame) + " of " + which;
    return i420;
}

// SSIM is the one metric that needs memory of its own.
bool NotComputed(int frame, std::string& error, const char* metric = "SSIM_GRAY")
{
    error = std::string("cannot compute ") + metric + " of frame " + std::to_string(frame) + ": out of memory";
    return false;
}

// The part of one plane of an I420 frame a region covers.
struct PlaneRect {
    std::size_t offset;
    int w;
    int h;
    int stride;
};

// Y, U and V of a width x height I420 frame cut to `region` (zero width:
// the whole frame); chroma takes the samples the region covers.
void I420Rects(int width, int height, const Region& region, PlaneRect rects[3])
{
    const Region r = region.w > 0 ? region : Region{0, 0, width, height};
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    rects[0] = {static_cast<std::size_t>(r.y) * width + r.x, r.w, r.h, width};
    const int cw = (width + 1) / 2;
    const int ch = (height + 1) / 2;
    const std::size_t chromaSamples = static_cast<std::size_t>(cw) * static_cast<std::size_t>(ch);
    int cx = 0, cy = 0;
    const int w = CoveredSpan(r.x, r.w, 2, cw, cx);
    const int h = CoveredSpan(r.y, r.h, 2, ch, cy);
    for (int p = 1; p < 3; ++p)
        rects[p] = {(p == 1 ? n : n + chromaSamples) + static_cast<std::size_t>(cy) * cw + cx, w, h, cw};
}

template <typename Sample>
bool ExtrasT(const Sample* ref, const Sample* cmp, int width, int height, int depth, const Region& region,
             const ExtraMetrics& extra, FrameMetrics& out)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    out.extra = extra;
    out.planeSsim[0] = out.planeSsim[1] = out.planeSsim[2] = nan;
    out.msSsim = nan;
    out.psnrYuv = extra.psnrYuv ? YuvPsnr(out.psnr) : nan;
    if (!ref || !cmp || width <= 0 || height <= 0)
        return true;
    PlaneRect rects[3];
    I420Rects(width, height, region, rects);
    bool ok = true;
    for (int p = 0; p < 3 && extra.planeSsim; ++p) {
        const PlaneRect& r = rects[p];
        out.planeSsim[p] = PlaneSsim(ref + r.offset, cmp + r.offset, r.w, r.h, r.stride, depth);
        ok = ok && !MetricNotComputed(out.planeSsim[p]);
    }
    if (extra.msSsim) {
        const PlaneRect& r = rects[0];
        out.msSsim = PlaneMsSsim(ref + r.offset, cmp + r.offset, r.w, r.h, r.stride, depth);
        ok = ok && !MetricNotComputed(out.msSsim);
    }
    return ok;
}

template <typename Sample>
void RegionPsnrMse(const Sample* ref, const Sample* cmp, const PlaneRect rects[3], int depth, FrameMetrics& out)
{
    for (int p = 0; p < 3; ++p) {
        const PlaneRect& r = rects[p];
        uint64_t sse = 0;
        for (int y = 0; y < r.h; ++y) {
            const std::size_t at = r.offset + static_cast<std::size_t>(y) * r.stride;
            sse += SumSquaredDiff(ref + at, cmp + at, static_cast<std::size_t>(r.w));
        }
        out.mse[p] = static_cast<double>(sse) / (static_cast<double>(r.w) * r.h);
        out.psnr[p] = PsnrFromMse(out.mse[p], depth);
    }
}

// SSIM_GRAY of the red plane's samples inside the region.
float RegionSsimGray(const uint8_t* redRef, const uint8_t* redCmp, int width, const Region& r, int)
{
    const ssim_options options = {1.0f, 1.0f, 1.0f, 255, 0.01f, 0.03f, 1};
    const std::size_t at = static_cast<std::size_t>(r.y) * width + r.x;
    return ssim_index(redRef + at, redCmp + at, r.w, r.h, width, 1, &options);
}

float RegionSsimGray(const uint16_t* redRef, const uint16_t* redCmp, int width, const Region& r, int depth)
{
    const ssim_options options = {1.0f, 1.0f, 1.0f, (1 << depth) - 1, 0.01f, 0.03f, 1};
    const std::size_t at = static_cast<std::size_t>(r.y) * width + r.x;
    return ssim_index16(redRef + at, redCmp + at, r.w, r.h, width, 1, &options);
}

void RedPlane(const uint8_t* frame, int width, int height, int, int colorRange, uint8_t* dst)
{
    I420RedPlane(frame, width, height, colorRange, dst);
}

void RedPlane(const uint16_t* frame, int width, int height, int depth, int colorRange, uint16_t* dst)
{
    I420RedPlane(frame, width, height, depth, colorRange, dst);
}

template <typename Sample>
bool RegionT(const Sample* ref, const Sample* cmp, int width, int height, int depth, const Region& region,
             int colorRange, bool withSsim, FrameMetrics& out)
{
    out.depth = depth;
    out.hasSsim = withSsim;
    out.ssim = 0.0;
    if (!ref || !cmp || !RegionInside(region, width, height)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (int p = 0; p < 3; ++p)
            out.mse[p] = out.psnr[p] = nan;
        out.ssim = withSsim ? nan : 0.0;
        return true;
    }
    PlaneRect rects[3];
    I420Rects(width, height, region, rects);
    RegionPsnrMse(ref, cmp, rects, depth, out);
    if (!withSsim)
        return true;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::unique_ptr<Sample[]> redRef(new (std::nothrow) Sample[n]);
    std::unique_ptr<Sample[]> redCmp(new (std::nothrow) Sample[n]);
    if (!redRef || !redCmp) {
        out.ssim = std::numeric_limits<double>::infinity();
        return false;
    }
    RedPlane(ref, width, height, depth, colorRange, redRef.get());
    RedPlane(cmp, width, height, depth, colorRange, redCmp.get());
    out.ssim = RegionSsimGray(redRef.get(), redCmp.get(), width, region, depth);
    return !MetricNotComputed(out.ssim);
}

// The 8-bit measurement knows its depth; deeper samples carry theirs.
bool Measure(const uint8_t* a, const uint8_t* b, int, const CompareEngine::Settings& s, FrameMetrics& out)
{
    return MeasureI420Pair(a, b, s.a.Width(), s.a.Height(), s.colorRangeCode, s.withSsim, out);
}

bool Measure(const uint16_t* a, const uint16_t* b, int depth, const CompareEngine::Settings& s, FrameMetrics& out)
{
    return MeasureI420Pair(a, b, s.a.Width(), s.a.Height(), depth, s.colorRangeCode, s.withSsim, out);
}

template <typename Sample>
bool CompareI420(const CompareEngine::Settings& s, int frame, int depth, FrameMetrics& out, std::string& error)
{
    std::unique_ptr<Sample[]> a = ReadI420<Sample>(s.a, frame, "A", error);
    if (!a)
        return false;
    std::unique_ptr<Sample[]> b = ReadI420<Sample>(s.b, frame, "B", error);
    if (!b)
        return false;
    const int width = s.a.Width(), height = s.a.Height();
    const bool measured = s.region.w > 0
        ? RegionT(a.get(), b.get(), width, height, depth, s.region, s.colorRangeCode, s.withSsim, out)
        : Measure(a.get(), b.get(), depth, s, out);
    if (!measured)
        return NotComputed(frame, error);
    out.hasPsnr = s.withPsnr;
    if (s.extra.Any() && !ExtrasT(a.get(), b.get(), width, height, depth, s.region, s.extra, out))
        return NotComputed(frame, error, "SSIM");
    return true;
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

bool MeasureI420Pair(const uint16_t* ref, const uint16_t* cmp, int width, int height, int depth, int colorRange,
                     bool withSsim, FrameMetrics& out)
{
    out.depth = depth;
    I420PsnrMse(ref, cmp, width, height, depth, out.psnr, out.mse);
    out.hasSsim = withSsim;
    out.ssim = 0.0;
    if (!withSsim)
        return true;
    if (!ref || !cmp || width <= 0 || height <= 0) {
        out.ssim = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::unique_ptr<uint16_t[]> redRef(new (std::nothrow) uint16_t[n]);
    std::unique_ptr<uint16_t[]> redCmp(new (std::nothrow) uint16_t[n]);
    if (!redRef || !redCmp) {
        out.ssim = std::numeric_limits<double>::infinity();
        return false;
    }
    I420RedPlane(ref, width, height, depth, colorRange, redRef.get());
    I420RedPlane(cmp, width, height, depth, colorRange, redCmp.get());
    const ssim_options options = {1.0f, 1.0f, 1.0f, (1 << depth) - 1, 0.01f, 0.03f, 1};
    out.ssim = ssim_index16(redRef.get(), redCmp.get(), width, height, width, 1, &options);
    return !MetricNotComputed(out.ssim);
}

bool MeasureI420Extras(const uint8_t* ref, const uint8_t* cmp, int width, int height, const Region& region,
                       const ExtraMetrics& extra, FrameMetrics& out)
{
    return ExtrasT(ref, cmp, width, height, 8, region, extra, out);
}

bool MeasureI420Extras(const uint16_t* ref, const uint16_t* cmp, int width, int height, int depth,
                       const Region& region, const ExtraMetrics& extra, FrameMetrics& out)
{
    return ExtrasT(ref, cmp, width, height, depth, region, extra, out);
}

bool MeasureI420Region(const uint8_t* ref, const uint8_t* cmp, int width, int height, const Region& region,
                       int colorRange, bool withSsim, FrameMetrics& out)
{
    return RegionT(ref, cmp, width, height, 8, region, colorRange, withSsim, out);
}

bool MeasureI420Region(const uint16_t* ref, const uint16_t* cmp, int width, int height, int depth,
                       const Region& region, int colorRange, bool withSsim, FrameMetrics& out)
{
    return RegionT(ref, cmp, width, height, depth, region, colorRange, withSsim, out);
}

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

bool CompareEngine::CompareFrame(const Settings& settings, int frame, FrameMetrics& out, std::string& error)
{
    const int depth = settings.a.BitDepth();
    if (settings.b.BitDepth() != depth) {
        error = "A is " + std::to_string(depth) + "-bit and B is " + std::to_string(settings.b.BitDepth()) +
                "-bit: files of different depths are not compared";
        return false;
    }
    out = FrameMetrics();
    out.frame = frame;
    return depth == 8 ? CompareI420<uint8_t>(settings, frame, depth, out, error)
                      : CompareI420<uint16_t>(settings, frame, depth, out, error);
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
                // Each worker reads through its own reader copies.
                const Settings local = s;
                result.failed = !CompareFrame(local, frame, result.metrics, result.error);
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
            if (slot.failed) {
                error = slot.outOfMemory ? "out of memory at frame " + std::to_string(frame) : slot.error;
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
