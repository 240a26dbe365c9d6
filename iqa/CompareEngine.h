#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "iqa/CodecMetrics.h"
#include "yuv/LumoYuvReader.h"

namespace lumo {

// The metrics codec work adds to MSE/PSNR and SSIM_GRAY.
struct ExtraMetrics {
    bool planeSsim = false; // SSIM of Y, U and V
    bool msSsim = false;    // MS-SSIM of Y
    bool psnrYuv = false;   // (6 PSNR_Y + PSNR_U + PSNR_V) / 8
    bool Any() const { return planeSsim || msSsim || psnrYuv; }
};

// The comparison of one frame pair, as the analysis window shows it.
struct FrameMetrics {
    int frame = 0;
    int depth = 8; // bits per sample the numbers were measured at
    bool hasSsim = false;
    double ssim = 0.0;
    double mse[3] = {0.0, 0.0, 0.0};
    double psnr[3] = {0.0, 0.0, 0.0};
    // MSE and PSNR are always measured; false when they were not asked for.
    bool hasPsnr = true;
    // What `extra` names was measured; NaN where a value does not exist.
    ExtraMetrics extra;
    double planeSsim[3] = {0.0, 0.0, 0.0};
    double msSsim = 0.0;
    double psnrYuv = 0.0;
};

// +infinity is never a metric value: it marks one that could not be computed
// (memory ran out). NaN is a value (a plane or frame too small to measure).
inline bool MetricNotComputed(double value)
{
    return value == std::numeric_limits<double>::infinity();
}

// Measures two I420 frames of width x height: MSE and PSNR per plane, then,
// when `withSsim`, SSIM_GRAY for the metric colour-range code `colorRange`
// (0 BT.601 video, 1 BT.601 full, 2 BT.709 video). `out.frame` is left as
// it is. Returns false when a metric could not be computed; that metric is
// then +infinity in `out`.
bool MeasureI420Pair(const uint8_t* ref, const uint8_t* cmp, int width, int height, int colorRange, bool withSsim,
                     FrameMetrics& out);
// The same at native depth, for I420 frames of 16-bit samples of `depth`
// bits: MSE on the native values, PSNR against the peak (1 << depth) - 1,
// SSIM_GRAY on the red planes at that depth with L = (1 << depth) - 1.
// Depth 8 gives the 8-bit function's numbers bit for bit. Sets out.depth.
bool MeasureI420Pair(const uint16_t* ref, const uint16_t* cmp, int width, int height, int depth, int colorRange,
                     bool withSsim, FrameMetrics& out);

// The extra metrics of two I420 frames of width x height (16-bit samples
// of `depth` bits, or bytes), on the part of each plane `region` covers (a
// region of zero width: the whole frame). Run after the per-plane PSNR is
// in `out`. Returns false when memory ran out (that value is +infinity).
bool MeasureI420Extras(const uint8_t* ref, const uint8_t* cmp, int width, int height, const Region& region,
                       const ExtraMetrics& extra, FrameMetrics& out);
bool MeasureI420Extras(const uint16_t* ref, const uint16_t* cmp, int width, int height, int depth,
                       const Region& region, const ExtraMetrics& extra, FrameMetrics& out);
// MSE, PSNR and (when `withSsim`) SSIM_GRAY of the rectangle `region`,
// wholly inside the frame: chroma on the samples the rectangle covers,
// SSIM_GRAY on the red plane's samples inside it.
bool MeasureI420Region(const uint8_t* ref, const uint8_t* cmp, int width, int height, const Region& region,
                       int colorRange, bool withSsim, FrameMetrics& out);
bool MeasureI420Region(const uint16_t* ref, const uint16_t* cmp, int width, int height, int depth,
                       const Region& region, int colorRange, bool withSsim, FrameMetrics& out);

// Compares frames of two files of equal size and depth on several threads.
// Each frame pair is read as full-size planes (at native depth for layouts
// deeper than 8 bits), turned into I420 and measured with MeasureI420Pair.
// Results come back in frame order on the calling thread. At most `maxInFlight` frames are claimed ahead of the last one handed
// back, and each worker holds one frame pair at a time, so memory does not
// grow with the number of frames.
class CompareEngine {
public:
    struct Settings {
        LumoYuvReader a;
        LumoYuvReader b;
        int first = 0;
        int last = 0;           // inclusive
        int colorRangeCode = 1; // metric colour-range code
        bool withSsim = true;
        bool withPsnr = true; // MSE and PSNR reported
        ExtraMetrics extra;
        Region region;        // zero width: the whole frame
        int workers = 1;
        int maxInFlight = 2;
    };

    // Memory the workers may hold together unless the caller chooses
    // another budget.
    static constexpr int64_t kDefaultMemoryBudget = int64_t{224} << 20;

    // Bytes one worker holds at its peak for one frame pair of width x
    // height of samples of `depth` bits.
    static int64_t WorkerPeakBytes(int width, int height, bool withSsim, int depth = 8);
    // Worker count: `requested` when above 0, else the cores; either is
    // lowered until the workers' peak fits `memoryBudget` (at least one
    // worker).
    static int ChooseWorkers(int requested, int width, int height, bool withSsim, int64_t memoryBudget,
                             int depth = 8);

    explicit CompareEngine(const Settings& settings);

    // Runs the comparison; `onFrame` receives every frame in order. Returns
    // false and fills `error` (one line) when a frame cannot be read or a
    // metric cannot be computed (memory ran out); frames before the failing
    // one have been handed over by then.
    bool Run(const std::function<void(const FrameMetrics&)>& onFrame, std::string& error);

    // One frame pair on the calling thread; what each worker does. Files of
    // different depths are not compared: that is an error.
    static bool CompareFrame(const Settings& settings, int frame, FrameMetrics& out, std::string& error);

private:
    Settings settings_;
};

} // namespace lumo
