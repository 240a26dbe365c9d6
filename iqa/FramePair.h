#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "iqa/CodecMetrics.h"
#include "yuv/Cancel.h"
#include "yuv/FrameSource.h"

namespace lumo {

// A metric colour-range code: which Cr coefficient the red plane of
// SSIM_GRAY uses. Not the view's colour range (1-4); codes outside these
// count as BT.601 video.
enum class MetricRange : int { Bt601Video = 0, Bt601Full = 1, Bt709Video = 2 };

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
// when `withSsim`, SSIM_GRAY for the metric colour-range code `metricRange`
// (0 BT.601 video, 1 BT.601 full, 2 BT.709 video). `out.frame` is left as
// it is. Returns false when a metric could not be computed; that metric is
// then +infinity in `out`.
bool MeasureI420Pair(const uint8_t* reference, const uint8_t* compared, int width, int height, int metricRange, bool withSsim,
                     FrameMetrics& out);
// The same at native depth, for I420 frames of 16-bit samples of `depth`
// bits: MSE on the native values, PSNR against the peak (1 << depth) - 1,
// SSIM_GRAY on the red planes at that depth with L = (1 << depth) - 1.
// Depth 8 gives the 8-bit function's numbers bit for bit. Sets out.depth.
bool MeasureI420Pair(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth, int metricRange,
                     bool withSsim, FrameMetrics& out);

// The extra metrics of two I420 frames of width x height (16-bit samples
// of `depth` bits, or bytes), on the part of each plane `region` covers (a
// region of zero width: the whole frame). Run after the per-plane PSNR is
// in `out`. Returns false when memory ran out (that value is +infinity).
bool MeasureI420Extras(const uint8_t* reference, const uint8_t* compared, int width, int height, const Region& region,
                       const ExtraMetrics& extra, FrameMetrics& out);
bool MeasureI420Extras(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth,
                       const Region& region, const ExtraMetrics& extra, FrameMetrics& out);
// MSE, PSNR and (when `withSsim`) SSIM_GRAY of the rectangle `region`,
// wholly inside the frame: chroma on the samples the rectangle covers,
// SSIM_GRAY on the red plane's samples inside it.
bool MeasureI420Region(const uint8_t* reference, const uint8_t* compared, int width, int height, const Region& region,
                       int metricRange, bool withSsim, FrameMetrics& out);
bool MeasureI420Region(const uint16_t* reference, const uint16_t* compared, int width, int height, int depth,
                       const Region& region, int metricRange, bool withSsim, FrameMetrics& out);

// What is measured of a frame pair.
struct PairOptions {
    MetricRange range = MetricRange::Bt601Full;
    bool withSsim = true;
    bool withPsnr = true; // MSE and PSNR reported (they are always measured)
    ExtraMetrics extra;
    Region region; // zero width: the whole frame
};

// Why two sources cannot be compared: the one test every caller uses.
enum class PairProblem { None, SizeDiffers, DepthDiffers };
PairProblem CheckComparable(int referenceWidth, int referenceHeight, int referenceDepth, int comparedWidth,
                            int comparedHeight, int comparedDepth);
PairProblem CheckComparable(const FrameSource& reference, const FrameSource& compared);

// The frame pair, read from the two sources (`referenceFrame` of the
// reference, `comparedFrame` of the compared one), converted to I420 (at the
// layouts' own depth when deeper than 8 bits) and measured; SSIM of U and V
// takes the chroma as the layouts store it (a finer one at the coarser one's
// resolution), the rest the I420 frame. `out.frame` is
// the reference's frame. False with a one-line `error` when the pair is not
// comparable, a frame cannot be read, memory runs out or `cancel` fires
// (error "cancelled"); a metric that could not be computed is then
// +infinity in `out`.
bool CompareFramePair(FrameSource& reference, int referenceFrame, FrameSource& compared, int comparedFrame,
                      const PairOptions& options, FrameMetrics& out, std::string& error,
                      const CancelToken* cancel = nullptr);
// The same from frames already read: `referenceRaw` and `comparedRaw` hold
// FrameSize() bytes of a frame of each source, as stored.
bool MeasureStoredPair(const FrameSource& reference, const uint8_t* referenceRaw, const FrameSource& compared,
                       const uint8_t* comparedRaw, int frame, const PairOptions& options, FrameMetrics& out,
                       std::string& error, const CancelToken* cancel = nullptr);

} // namespace lumo
